// What only the builtins have to show: they live inside the shell.
#include <gtest/gtest.h>

#include "run.h"

// A builtin never ends the shell, and reads no further than its five
// numbers and the byte that ends the fifth, as read takes its delimiter,
// on a pipe and a file alike, so a loop of read and shares keeps in step
// either way. Each call parses only its own input. What bash has read
// ahead of its script on standard input goes back first, and a trapped
// signal runs its trap and loses nothing.
TEST(Builtin, InsideTheShell)
{
	const std::string loop = "while IFS= read -r n; do printf '%s: ' \"$n\"; shares || break; echo; done";
	const char *rec = "a\n1 2 3 4 5\nb\n5 0 0 0 5\n";
	const char *recs = "a: 6.67 13.33 20.00 26.67 33.33 15\nb: 50.00 0.00 0.00 0.00 50.00 10\n";
	const std::string script = "enable -f shares shares\nshares\n1 2 3\n4 5\necho \" $?\"\necho next\n";
	struct { std::string script, in, want; } cases[] = {
		{"urldecode -x a; urldecode; shares; echo \" $?\"", "1 2", " 1\n"},
		{"printf '1 2 3 4 5 rest\\n' | { shares; echo; cat; }", "",
		 "6.67 13.33 20.00 26.67 33.33 15\nrest\n"},
		{"shares; echo; cat", "1 2 3 4 5 rest\n", "6.67 13.33 20.00 26.67 33.33 15\nrest\n"},
		{"shares; echo; shares; echo \" $?\"; shares; echo \" $?\"",
		 "3 1 0 0 4\n1-2-3-4-5 2 x", "37.50 12.50 0.00 0.00 50.00 8\n"
		 "-7.69 15.38 23.08 30.77 38.46 -13 0\n 1\n"},
		{loop, rec, recs},
		{"cat | " + loop, rec, recs},
		// bash < script, with the numbers across its 8 KiB buffer too.
		{"bash", script, "6.67 13.33 20.00 26.67 33.33 15 0\nnext\n"},
		{"bash", std::string(8156, '#') + "\n" + script,
		 "6.67 13.33 20.00 26.67 33.33 15 0\nnext\n"},
		{"trap 'printf T' USR1; (sleep .2; kill -USR1 $$) & "
		 "shares < <(printf '1 2 3 '; sleep 1.5; printf '4 5'); echo \" $?\"", "",
		 "T6.67 13.33 20.00 26.67 33.33 15 0\n"},
	};
	for (const auto &c : cases) {
		outcome o = runbash(c.script, {}, c.in.c_str());
		EXPECT_EQ(o.out, c.want) << c.script;
		EXPECT_EQ(o.status, 0) << c.script;
	}
}

// A long shell variable passes no exec, and so meets no length limit.
TEST(Builtin, LongArgument)
{
	std::string want;
	for (int i = 0; i < 1 << 21; i++)	// 10 MiB in, 8 MiB out
		want += "a\\; ";
	outcome o = runbash("s=a%3B+; for i in {1..21}; do s=$s$s; done; urldecode -e \"$s\"");
	EXPECT_TRUE(o.out == want) << o.out.size() << " bytes";
	EXPECT_EQ(o.status, 0);
}

#ifndef SANITIZER_RUNTIME
// Nothing is kept between calls: 100,000 of them leave the shell's
// resident memory as it was, within 1 MiB.
TEST(Builtin, MemoryStaysFlat)
{
	outcome o = runbash(
		"s=$(printf '%%41%.0s' {1..100}); rss() { awk '/VmRSS/ { print $2 }' /proc/$$/status; }\n"
		"calls() { for ((i = 0; i < $1; i++)); do urldecode -b -e \"$s\"; shares <<<'1 2 3 4 5'; done >/dev/null; }\n"
		"calls 1000; a=$(rss); calls 100000; echo $(($(rss) - a))");
	ASSERT_EQ(o.status, 0) << o.err;
	EXPECT_LT(std::stol(o.out), 1024) << "KiB of growth";
}
#endif
