// For every input: the routines touch nothing beyond the string and its
// terminator, decoding never lengthens the string, and escaping gives what
// the plain shift-the-rest algorithm gives.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "urldecode.h"

// Escaping done the obvious way: for each metacharacter, move the rest of
// the string and its terminator one place right and put a backslash in
// the gap. Quadratic, and plainly right.
static void shift_escape(char *cmd)
{
	size_t len = strlen(cmd);

	for (size_t i = 0; cmd[i] != '\0'; i++) {
		if (ind(shell_metachars, cmd[i]) != -1) {
			for (size_t j = len + 1; j > i; j--)
				cmd[j] = cmd[j - 1];
			len++;
			cmd[i++] = '\\';
		}
	}
}

// A heap copy of exactly len + room + 1 bytes, so that the sanitizer sees
// any byte beyond the string's terminator or the given room.
static char *copy(const char *s, size_t len, size_t room)
{
	char *p = static_cast<char *>(malloc(len + room + 1));
	memcpy(p, s, len);
	p[len] = '\0';
	return p;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	char *s = copy(reinterpret_cast<const char *>(data), size, 0);
	size_t before = strlen(s);
	plustospace(s);
	unescape_url(s);
	size_t after = strlen(s);
	if (after > before)
		abort();

	size_t metas = 0;
	for (size_t i = 0; i < after; i++)
		metas += ind(shell_metachars, s[i]) != -1;
	char *fast = copy(s, after, metas);
	char *slow = copy(s, after, after);
	escape_shell_cmd(fast);
	shift_escape(slow);
	if (strcmp(fast, slow) != 0 || strlen(fast) != after + metas)
		abort();

	free(slow);
	free(fast);
	free(s);
	return 0;
}
