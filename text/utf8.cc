// UTF-8 a code point at a time, strictly: what is not UTF-8 is told apart
// from what is, never mended.
#include "text.h"

long utf8point(const unsigned char *s, size_t avail, size_t *len)
{
	unsigned c = s[0];
	size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 :
		   c >= 0xF0 && c <= 0xF4 ? 4 : 0;
	unsigned lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
	unsigned hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
	if (n == 0 || n > avail)
		return -1;
	long cp = static_cast<long>(n == 1 ? c : c & (0x7F >> n));
	for (size_t k = 1; k < n; k++) {
		if (s[k] < (k == 1 ? lo : 0x80) || s[k] > (k == 1 ? hi : 0xBF))
			return -1;
		cp = cp << 6 | (s[k] & 0x3F);
	}
	*len = n;
	return cp;
}
