#include "run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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
#ifdef EMULATOR
	// A program for another machine runs under its emulator, which sets
	// its argv[0] and the environment that is the test's for it alone
	// (LD_PRELOAD must not reach the emulator itself).
	char emulator[] = EMULATOR, zero[] = "-0", setenv[] = "-E";
	for (char *w = strtok(emulator, " "); w != nullptr; w = strtok(nullptr, " "))
		av.push_back(w);
	av.insert(av.end(), {zero, const_cast<char *>(argv[0].c_str())});
	for (const std::string &e : env)
		av.insert(av.end(), {setenv, const_cast<char *>(e.c_str())});
	av.push_back(const_cast<char *>(path));
	path = av[0];
	for (size_t i = 1; i < argv.size(); i++)
		av.push_back(const_cast<char *>(argv[i].c_str()));
#else
	for (const std::string &a : argv)
		av.push_back(const_cast<char *>(a.c_str()));
	for (const std::string &e : env)
		ev.push_back(const_cast<char *>(e.c_str()));
#endif
	av.push_back(nullptr);
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

	// posix_spawn rather than fork: a forked child of a test that itself
	// runs under qemu-i386 hangs before it can exec.
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	if (in >= 0)
		posix_spawn_file_actions_adddup2(&fa, in, 0);
	else
		posix_spawn_file_actions_addclose(&fa, 0);
	if (where == stdout_to::pipe)
		posix_spawn_file_actions_adddup2(&fa, out[1], 1);
	else if (where == stdout_to::full)
		posix_spawn_file_actions_addopen(&fa, 1, "/dev/full", O_WRONLY, 0);
	else
		posix_spawn_file_actions_addclose(&fa, 1);
	posix_spawn_file_actions_adddup2(&fa, err[1], 2);
	pid_t pid;
	errno = posix_spawnp(&pid, path, &fa, nullptr, av.data(), ev.data());
	posix_spawn_file_actions_destroy(&fa);
	if (errno != 0)
		broken("spawn");
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

outcome runbash(const std::string &script, const std::vector<std::string> &args,
		const char *input, stdout_to where, std::vector<std::string> env)
{
#ifdef URLDECODE_BUILTIN
	std::vector<std::string> argv = {"bash", "-c",
		"enable -f '" URLDECODE_BUILTIN "' urldecode && "
		"enable -f '" URLENCODE_BUILTIN "' urlencode && "
		"enable -f '" SHARES_BUILTIN "' shares && enable -f htmlescape htmlescape && "
		"enable -f jsonquote jsonquote && enable -f setcookie setcookie && enable -f jsonparse jsonparse && "
		"enable -f formdata formdata || exit 99\n" + script, "bash"};
	argv.insert(argv.end(), args.begin(), args.end());
	// So that the script, and a bash that it starts, can load them.
	env.push_back("BASH_LOADABLES_PATH=" BUILTIN_DIR);
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

outcome run(const tool &t, const std::vector<std::string> &args, const char *input,
	    stdout_to where, const std::vector<std::string> &env)
{
	if (t.program != nullptr) {
		std::vector<std::string> argv = {t.program};
		argv.insert(argv.end(), args.begin(), args.end());
		return run(t.program, argv, input, where, env);
	}
	outcome o = runbash(std::string(t.name) + (t.setvar ?
		" -v x \"$@\"; s=$?; printf %s \"$x\"; exit $s" : " \"$@\""), args, input, where, env);
	// "bash: " or "bash: line 1: " before a message of bash's convention.
	if (o.err.compare(0, 6, "bash: ") == 0)
		o.err.erase(0, o.err.compare(6, 5, "line ") == 0 ? o.err.find(": ", 6) + 2 : 6);
	return o;
}
