# Installs the npm parsers pinned in package-lock.json into DIR with npm ci,
# unless that very lock file was installed there already. Every failure is
# fatal, so the tests that need the parsers fail instead of skipping.
# Usage: cmake -DDIR=<dir> -DNPM=<npm> -P install.cmake
if(NOT NPM)
  message(FATAL_ERROR "npm not found: scripts/install-deps installs Debian's nodejs and npm")
endif()

set(stamp ${DIR}/node_modules/.glyphmint-installed-lock)
if(EXISTS ${stamp})
  file(READ ${DIR}/package-lock.json wanted)
  file(READ ${stamp} installed)
  if(wanted STREQUAL installed)
    return()
  endif()
endif()

execute_process(COMMAND ${NPM} ci --prefer-offline --no-audit --no-fund
                WORKING_DIRECTORY ${DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "npm ci failed in ${DIR} (status ${status}): the export tests read "
                      "exports with the parsers pinned in tests/npm/package-lock.json, which "
                      "npm installs from its registry or its cache")
endif()
file(COPY_FILE ${DIR}/package-lock.json ${stamp})
