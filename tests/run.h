// Runs a built program as a separate process, the way a shell script would,
// and collects everything it did.
#ifndef RUN_H
#define RUN_H

#include <ostream>
#include <string>
#include <vector>

struct outcome {
	std::string out, err;
	int status;		// exit status, or 128 + signal number
};

enum class stdout_to { pipe, full, closed };

// argv holds every argument, the program name as invoked first. A null
// input runs the program with standard input closed; env entries
// ("NAME=value") come before, and so override, the test's own environment.
outcome run(const char *path, const std::vector<std::string> &argv,
	    const char *input = "", stdout_to where = stdout_to::pipe,
	    const std::vector<std::string> &env = {});

// A tool under test: its program, or its builtin in a bash that has loaded
// it. Both must give the same bytes, but for the name and line that bash
// puts before its builtins' own error messages, which run() removes.
struct tool {
	const char *name;	// the name that the usage text shows
	const char *program;	// the program, or null for the builtin
	bool setvar = false;	// the builtin with "-v x" first, then x printed
};

// The tools, as programs and, where they are built, as builtins.
inline constexpr tool urldecode_tools[] = {{URLDECODE_PATH, URLDECODE_PATH},
#ifdef URLDECODE_BUILTIN
					   {"urldecode", nullptr}, {"urldecode", nullptr, true},
#endif
};
inline constexpr tool urlencode_tools[] = {{URLENCODE_PATH, URLENCODE_PATH},
#ifdef URLENCODE_BUILTIN
					   {"urlencode", nullptr}, {"urlencode", nullptr, true},
#endif
};
inline constexpr tool htmlescape_tools[] = {{HTMLESCAPE_PATH, HTMLESCAPE_PATH},
#ifdef URLDECODE_BUILTIN
					    {"htmlescape", nullptr}, {"htmlescape", nullptr, true},
#endif
};
inline constexpr tool jsonquote_tools[] = {{JSONQUOTE_PATH, JSONQUOTE_PATH},
#ifdef URLDECODE_BUILTIN
					   {"jsonquote", nullptr}, {"jsonquote", nullptr, true},
#endif
};
inline constexpr tool setcookie_tools[] = {{SETCOOKIE_PATH, SETCOOKIE_PATH},
#ifdef URLDECODE_BUILTIN
					   {"setcookie", nullptr}, {"setcookie", nullptr, true},
#endif
};
inline constexpr tool jsonparse_tools[] = {{JSONPARSE_PATH, JSONPARSE_PATH},
#ifdef URLDECODE_BUILTIN
					   {"jsonparse", nullptr}, {"jsonparse", nullptr, true},
#endif
};
inline constexpr tool shares_tools[] = {{SHARES_PATH, SHARES_PATH},
#ifdef SHARES_BUILTIN
					{"shares", nullptr}, {"shares", nullptr, true},
#endif
};

inline void PrintTo(const tool &t, std::ostream *os)
{
	*os << (t.program != nullptr ? "Program" : t.setvar ? "BuiltinSetvar" : "Builtin");
}

// Runs the tool with args after its name.
outcome run(const tool &t, const std::vector<std::string> &args,
	    const char *input = "", stdout_to where = stdout_to::pipe,
	    const std::vector<std::string> &env = {});

// Runs script in "bash -c" with both builtins loaded, args as its "$@".
outcome runbash(const std::string &script, const std::vector<std::string> &args = {},
		const char *input = "", stdout_to where = stdout_to::pipe,
		std::vector<std::string> env = {});

#endif
