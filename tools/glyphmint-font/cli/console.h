// What glyphmint-font prints: a command's output on standard output, and its
// errors and notes on standard error, one line each (a usage error two).
#pragma once

#include "core/str-view.h"

/// Writes the text to standard output and flushes it; throws Err "standard
/// output: cannot be written (<reason>)" when that fails (a closed pipe, a
/// full disk).
void print_output(StrView text);

/// Prints "glyphmint-font: <message>\n" on standard error, each control byte
/// of the message written as \xNN: a file name or a text in it can neither
/// break the line nor send the terminal a control sequence. Standard output
/// is flushed first, so the line follows what was printed there.
void print_message(StrView message);

/// Prints a usage error on standard error: print_message's line, then
/// "Try 'glyphmint-font help <command>' for more information." (without the
/// command when there is none), so that nothing of it can reach a file that
/// standard output was sent to.
void print_usage_error(StrView reason, StrView command);
