# Runs inside CPack after the install rules have filled the staging directory
# and before the .deb is made: puts the files in the forms Debian's policy
# asks for. Manual pages and the changelog are compressed with gzip -9n (no
# name or time stamp inside, so the same files give the same bytes), and the
# package gets its copyright file.
set(doc_dir "${CPACK_TEMPORARY_DIRECTORY}/usr/share/doc/glyphmint")

file(GLOB pages "${CPACK_TEMPORARY_DIRECTORY}/usr/share/man/man1/*.1")
if(NOT pages)
  message(FATAL_ERROR "deb-stage: no manual pages in ${CPACK_TEMPORARY_DIRECTORY}/usr/share/man/man1")
endif()

# The changelog's newest entry must be this version: Debian reads it as the
# package's history, so a version bump comes with its entry.
file(STRINGS "${CPACK_GLYPHMINT_PACKAGING_DIR}/changelog" newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^glyphmint \\(${CPACK_GLYPHMINT_VERSION}\\) ")
  message(FATAL_ERROR "deb-stage: packaging/changelog starts with '${newest}'; "
                      "add an entry for version ${CPACK_GLYPHMINT_VERSION} at its top")
endif()

file(COPY_FILE "${CPACK_GLYPHMINT_PACKAGING_DIR}/changelog" "${doc_dir}/changelog")
file(COPY_FILE "${CPACK_GLYPHMINT_PACKAGING_DIR}/copyright" "${doc_dir}/copyright")
file(CHMOD "${doc_dir}/changelog" "${doc_dir}/copyright"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

foreach(file IN LISTS pages ITEMS "${doc_dir}/changelog")
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "deb-stage: gzip -9nf ${file} failed: ${status}")
  endif()
endforeach()
