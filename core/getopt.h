// The option parser under ProgOpts: walks an argument vector against a table of
// getopt_entry records and reports one result per getopt_next call.
//
// The trap: a value that begins with '-' (a negative number included) is only
// taken in the --name=value form; "--name -5" and "-n -5" report a missing value
// (a lone "-" too, unless blank_and_dash_are_words is set).
#pragma once

#include "core/types.h"

/// How an option takes its value; stored as the record's `kind`.
enum GetoptKind : i32 {
  GetoptNoValue = 0,
  GetoptRequiredStr = 1,
  GetoptOptionalStr = 2,
  GetoptRequiredS32 = 3,
  GetoptOptionalS32 = 4,
  GetoptRequiredF32 = 5,
  GetoptOptionalF32 = 6,
  GetoptFlagSet = 7, ///< stores the record's value into the flag target
  GetoptFlagAnd = 8, ///< ands the record's value into the flag target
  GetoptFlagOr = 9,  ///< ors the record's value into the flag target
};

/// The results of getopt_next that are not a record's value; no record may use them.
enum GetoptResult : i32 {
  GetoptDone = -1,
  GetoptFlagApplied = 0,
  GetoptInvalid = '!',   ///< 33
  GetoptNotOption = '+', ///< 43
  GetoptUnknown = '?',   ///< 63
};

/// One option. A list ends with a record whose name is null and short name 0,
/// so a short-only option must not also have short name 0.
struct getopt_entry {
  const char *name;       ///< after "--", matched ignoring case; may be null
  i32 name_short;         ///< after "-"; 0 for none
  i32 kind;               ///< a GetoptKind
  i32 *flag;              ///< only kinds 7 to 9 touch it, and they need it
  i32 value;              ///< the result for this option, or the flag operand
  const char *desc;       ///< help text
  const char *value_desc; ///< help placeholder of the value; may be null
};

/// One pass over the arguments; it points into argv and the records, copying neither.
struct getopt_context {
  i32 argc;                ///< arguments after the program name
  const char *const *argv; ///< the arguments after the program name
  const getopt_entry *opts;
  i32 num_opts;                ///< records before the list's end
  i32 current_index;           ///< next argument to read
  const char *current_opt_arg; ///< value text, offending argument or option name
  union {
    i32 i;
    f32 f;
  } current_value; ///< only written for the number kinds
  /// Cleared by getopt_create_context; a program that takes plain words sets
  /// it to read an empty argument and a lone "-" (a standard stream) as words,
  /// and "-" after an option as its value, as POSIX utilities do.
  bool blank_and_dash_are_words;
};

/// Prepares a pass over argv (program name first); -1 when a record is unusable:
/// a reserved value (-1, 33, 43, 63), a name beginning with '-', a kind outside
/// 0..9, or a flag kind without a flag target.
[[nodiscard]] i32 getopt_create_context(getopt_context *ctx, i32 argc, const char *const *argv,
                                        const getopt_entry *opts);

/// The next result: -1 when no argument is left, else a GetoptResult or a
/// record's value; current_opt_arg then says which text it concerns.
[[nodiscard]] i32 getopt_next(getopt_context *ctx);

/// Parses current_opt_arg for a number kind into current_value; 33 (naming the
/// option) on trailing text or an integer that does not fit 32 bits.
[[nodiscard]] i32 getopt_read_value(getopt_context *ctx, const getopt_entry *opt);

/// One line per record; text that does not fit is cut, never overrun, and the
/// buffer stays NUL-terminated whenever size is not 0.
char *getopt_create_help_string(getopt_context *ctx, char *buffer, u64 size);

/// vsnprintf into buffer: the length the full text needs, or negative on error.
i32 str_format(char *buffer, u64 size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
