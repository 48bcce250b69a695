// Backslash-escaping of shell metacharacters.
#include <array>
#include <cstring>

#include "urlcode.h"

// The metacharacters. Space, tab, newline and the double quote are not
// among them, so an escaped string still splits into words and is no safe
// input for eval. The set is fixed: callers rely on exactly these.
constexpr char shell_metachars[] = "&;`'|*?-~<>^()[]{}$\\";

// Membership of every byte value, worked out at compile time from the set
// above, so that escaping costs a load per byte instead of a scan of the set.
static constexpr auto is_meta = [] {
	std::array<bool, 256> t{};
	for (const char *p = shell_metachars; *p != '\0'; p++)
		t[static_cast<unsigned char>(*p)] = true;
	return t;
}();

static bool meta(char c)
{
	return is_meta[static_cast<unsigned char>(c)];
}

int ind(const char *s, char c)
{
	const char *p = strchr(s, c);

	// strchr finds the terminator too; it never matches here.
	if (p == nullptr || c == '\0')
		return -1;
	return static_cast<int>(p - s);
}

// Every metacharacter gets one backslash before it. The metacharacters are
// counted first, then the string is filled in from its new end backwards,
// so each byte moves once, straight to its place: linear time, in place,
// in exactly the room that the result needs.
void escape_shell_cmd(char *cmd)
{
	size_t len = strlen(cmd), extra = 0;

	for (size_t i = 0; i < len; i++)
		extra += meta(cmd[i]);
	if (extra == 0)
		return;

	char *r = cmd + len;
	char *w = r + extra;
	*w = '\0';
	// Once every backslash is placed, the bytes before are where they were.
	while (w != r) {
		char c = *--r;
		*--w = c;
		if (meta(c))
			*--w = '\\';
	}
}
