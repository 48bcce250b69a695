#include "run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

[[noreturn]] static void broken(const char *what)
{
	fprintf(stderr, "run: %s: %s\n", what, strerror(errno));
	abort();
}

outcome run(const char *path, const std::vector<std::string> &argv,
	    const char *input, stdout_to where, const std::vector<std::string> &env)
{
	std::vector<char *> av, ev;
	for (const std::string &a : argv)
		av.push_back(const_cast<char *>(a.c_str()));
	av.push_back(nullptr);
	for (const std::string &e : env)
		ev.push_back(const_cast<char *>(e.c_str()));
	for (char **e = environ; *e != nullptr; e++)
		ev.push_back(*e);
	ev.push_back(nullptr);

	// Standard input is a file already written, so that a program that
	// reads little cannot block the test writing to it.
	int in = -1;
	if (input != nullptr) {
		in = memfd_create("stdin", MFD_CLOEXEC);
		size_t len = strlen(input);
		if (in < 0 || write(in, input, len) != static_cast<ssize_t>(len) ||
		    lseek(in, 0, SEEK_SET) != 0)
			broken("stdin");
	}
	int out[2], err[2];
	if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
		broken("pipe");

	pid_t pid = fork();
	if (pid < 0)
		broken("fork");
	if (pid == 0) {
		if (in >= 0)
			dup2(in, 0);
		else
			close(0);
		if (where == stdout_to::pipe)
			dup2(out[1], 1);
		else if (where == stdout_to::full)
			dup2(open("/dev/full", O_WRONLY | O_CLOEXEC), 1);
		else
			close(1);
		dup2(err[1], 2);
		execve(path, av.data(), ev.data());
		_exit(127);
	}
	if (in >= 0)
		close(in);
	close(out[1]);
	close(err[1]);

	outcome o{"", "", -1};
	struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
	std::string *dest[2] = {&o.out, &o.err};
	int open_fds = 2;
	while (open_fds > 0) {
		if (poll(fds, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			broken("poll");
		}
		for (int i = 0; i < 2; i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			char buf[65536];
			ssize_t n = read(fds[i].fd, buf, sizeof buf);
			if (n > 0) {
				dest[i]->append(buf, static_cast<size_t>(n));
			} else {
				close(fds[i].fd);
				fds[i].fd = -1;
				open_fds--;
			}
		}
	}

	int status;
	if (waitpid(pid, &status, 0) != pid)
		broken("waitpid");
	o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return o;
}

#ifdef URLDECODE_BUILTIN
const tool urldecode_tools[] = {{URLDECODE_PATH, URLDECODE_PATH, nullptr},
				{"urldecode", nullptr, URLDECODE_BUILTIN}};
const tool shares_tools[] = {{SHARES_PATH, SHARES_PATH, nullptr},
			     {"shares", nullptr, SHARES_BUILTIN}};
const size_t ntools = 2;
#else
const tool urldecode_tools[] = {{URLDECODE_PATH, URLDECODE_PATH, nullptr}};
const tool shares_tools[] = {{SHARES_PATH, SHARES_PATH, nullptr}};
const size_t ntools = 1;
#endif

// script runs in "bash -c" with both builtins loaded, args as its "$@".
static outcome bash(const std::string &script, const std::vector<std::string> &args,
		    const char *input, stdout_to where, std::vector<std::string> env)
{
#ifdef URLDECODE_BUILTIN
	std::vector<std::string> argv = {"bash", "-c",
		"enable -f '" URLDECODE_BUILTIN "' urldecode && "
		"enable -f '" SHARES_BUILTIN "' shares || exit 99\n" + script, "bash"};
	argv.insert(argv.end(), args.begin(), args.end());
#ifdef SANITIZER_RUNTIME
	// bash is not built with the sanitizers, so their runtime has to be
	// loaded first for the builtins; bash's own leaks are not ours.
	env.push_back("LD_PRELOAD=" SANITIZER_RUNTIME);
	env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
	return run(BASH_PATH, argv, input, where, env);
#else
	(void)script, (void)args, (void)input, (void)where, (void)env;
	abort();
#endif
}

outcome runbash(const std::string &script, const char *input,
		const std::vector<std::string> &env)
{
	return bash(script, {}, input, stdout_to::pipe, env);
}

outcome run(const tool &t, const std::vector<std::string> &args, const char *input,
	    stdout_to where, const std::vector<std::string> &env)
{
	if (t.program != nullptr) {
		std::vector<std::string> argv = {t.program};
		argv.insert(argv.end(), args.begin(), args.end());
		return run(t.program, argv, input, where, env);
	}
	outcome o = bash(std::string(t.name) + " \"$@\"", args, input, where, env);
	// "bash: " or "bash: line 1: " before a message of bash's convention.
	if (o.err.compare(0, 6, "bash: ") == 0)
		o.err.erase(0, o.err.compare(6, 5, "line ") == 0 ? o.err.find(": ", 6) + 2 : 6);
	return o;
}
