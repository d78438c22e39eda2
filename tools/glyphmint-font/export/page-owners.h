// The other exports in a directory whose pages an export would replace.
// Descriptors share pages by stem (ui.fnt and ui.xml both name ui_0.png), so
// a second export under the same stem would leave the first describing a
// page it no longer has.
#pragma once

#include "shared/staged-outputs.h"

/// Throws Err naming `out` and the other descriptor when one of `pages`
/// would change a file that another file in out's directory, of the same
/// stem (its pages named as out's are), names as a page: in quotes, as the
/// text, XML and JSON forms do, or ended by a NUL, as the binary form does.
/// A page written again with the same bytes harms nothing, and `out` itself,
/// replaced with its pages, never counts.
void refuse_replacing_others_pages(const Path &out, ArrView<const Output> pages);
