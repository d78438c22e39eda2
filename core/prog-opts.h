// Command-line options of the program: register each option once at start,
// then call ProgOpts::parse with main's arguments. Help prints to standard
// output and ends the process; so does a usage error, unless the program
// asked for it to be thrown as UsageError (throw_usage_errors).
//
// The trap: the registry keeps the description texts by pointer, not by copy,
// so they must outlive parse (string literals do).
#pragma once

#include "core/list.h"
#include "core/str.h"

struct getopt_context;

/// A command line that does not match the program's options, thrown instead
/// of printed once ProgOpts::throw_usage_errors was called. The message is
/// the reason alone, such as "Unknown flag: --x"; the help is not in it.
struct UsageError : Err {
  using Err::Err;
};

struct ProgOpts {
  /// What an argument's untyped target points to.
  enum ArgumentType : i32 { TypeS32 = 0, TypeF32 = 1, TypeStr = 2, TypeStrList = 3 };

  /// Any value other than Required leaves the argument optional.
  enum Flags : i32 { Required = 0, Optional = 1 };

  /// A switch that sets *target to true when given; never sets it to false.
  struct Flag {
    const char *name;
    char name_short;
    const char *desc;
    bool *target;
  };

  /// A text argument; a later occurrence replaces an earlier one.
  struct ArgumentStr {
    const char *name;
    char name_short;
    const char *desc;
    const char *value_desc;
    Str *target;
    Flags flags;
  };

  /// A text argument that may be given many times: each occurrence appends
  /// its value, in command-line order.
  struct ArgumentStrList {
    const char *name;
    char name_short;
    const char *desc;
    const char *value_desc;
    List<Str> *target;
    Flags flags;
  };

  /// A float argument, read with strtof.
  struct ArgumentF32 {
    const char *name;
    char name_short;
    const char *desc;
    const char *value_desc;
    f32 *target;
    Flags flags;
  };

  /// An integer argument: decimal, 0x hexadecimal or 0 octal, within 32 bits.
  struct ArgumentS32 {
    const char *name;
    char name_short;
    const char *desc;
    const char *value_desc;
    i32 *target;
    Flags flags;
  };

  /// Registers a flag; more than 30 registrations abort the process.
  static void add(const Flag &f);
  /// Registers a text argument; more than 30 registrations abort the process.
  static void add(const ArgumentStr &a);
  /// Registers a repeatable text argument; more than 30 registrations abort the process.
  static void add(const ArgumentStrList &a);
  /// Registers a float argument; more than 30 registrations abort the process.
  static void add(const ArgumentF32 &a);
  /// Registers an integer argument; more than 30 registrations abort the process.
  static void add(const ArgumentS32 &a);
  /// Registers an argument whose target type is only known at run time.
  static void add_argument(const char *name, char name_short, const char *desc,
                           const char *value_desc, void *target, ArgumentType type, Flags flags);

  /// Returns only when every argument was valid and every required one given;
  /// otherwise prints the reason and the help text and exits (0 for --help).
  /// Throws Err when a registered long name begins with '-'.
  static void parse(i32 argc, const char *const *argv);

  /// The opt-in for programs that take plain words besides options: stores
  /// them in order into words (views into argv) and returns how many there
  /// were. Everything after a lone "--" is a word, even when it starts with
  /// '-'; so are an empty argument and a lone "-" (which also serves as an
  /// option's value), for the program to judge. More words than words.count
  /// is a usage error, as is any word for the plain parse above. With names
  /// (words.count of them), every word must be given: a missing one is the
  /// usage error "Missing argument: <its name>".
  [[nodiscard]] static u64 parse(i32 argc, const char *const *argv, ArrView<StrView> words,
                                 const char *const *names = nullptr);

  /// Whether the argument with this target was on the command line, even
  /// with an empty value: an empty text given is not the same as none.
  [[nodiscard]] static bool given(const void *target);

  /// For a usage error only the program can see after parse, such as a
  /// missing choice among options: prints the reason and the help text to
  /// standard output and exits 1 (or throws, see throw_usage_errors).
  [[noreturn]] static void usage_error(const char *reason);

  /// From now on every usage error, from parse or usage_error, throws
  /// UsageError with its reason instead of printing the reason and the help
  /// and exiting 1, so that the program reports it where and how it wants.
  /// --help still prints the help on standard output and exits 0.
  static void throw_usage_errors();

  /// The usage error for a value of the argument with this target that is
  /// missing or does not parse, instead of "Invalid usage of flag: NAME":
  /// say what the option takes. The reason is kept by pointer, as the
  /// descriptions are.
  static void set_value_error(const void *target, const char *reason);

  /// A line printed before the options in the help text, such as
  /// "Usage: prog FILE"; programs that never set it print none.
  static void set_synopsis(const char *synopsis);

private:
  static u64 parse_words(i32 argc, const char *const *argv, ArrView<StrView> *words,
                         const char *const *names);
  [[noreturn]] static void usage(getopt_context *ctx, i32 status);
  [[noreturn]] static void fail_usage(getopt_context *ctx, const Str &reason);
};
