// Runs a built program as a separate process, the way a shell script would,
// and collects everything it did.
#ifndef RUN_H
#define RUN_H

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

#endif
