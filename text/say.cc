// A message as text: whatever bytes a client sent that it quotes, it is
// one line of UTF-8, which a script can put in a JSON answer or a log as
// it stands.
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "text.h"

size_t textline(char *out, size_t size, const char *in, size_t n, bool cut)
{
	static const char hex[] = "0123456789ABCDEF";
	const unsigned char *s = reinterpret_cast<const unsigned char *>(in);
	size_t o = 0;
	for (size_t i = 0; i < n && size > 0;) {
		// Plain ASCII, as most of a message is, at once.
		if (s[i] >= 0x20 && s[i] < 0x7F) {
			if (o + 2 > size)
				break;
			out[o++] = in[i++];
			continue;
		}
		size_t len = 1;
		bool text = s[i] >= 0x20 && s[i] != 0x7F && utf8point(s + i, n - i, &len) >= 0;
		// The first bytes of a character that a cut before this took the
		// rest of end the text, as the cut would have ended it there.
		if (!text && cut && s[i] >= 0xC2 && s[i] <= 0xF4 && n - i < 4) {
			size_t k = i + 1;
			while (k < n && (s[k] & 0xC0) == 0x80)
				k++;
			if (k == n)
				break;
		}
		size_t need = text ? len : 4;
		if (o + need + 1 > size)
			break;
		if (text) {
			for (size_t k = 0; k < len; k++)
				out[o++] = in[i + k];
		} else {
			out[o++] = '\\', out[o++] = 'x', out[o++] = hex[s[i] >> 4], out[o++] = hex[s[i] & 15];
		}
		i += len;
	}
	if (size > 0)
		out[o] = '\0';
	return o;
}

size_t textmsg(char *line, size_t size, const char *prog, const char *what)
{
	size_t n = 0, p = 0, w = 0;
	while (prog[p] != '\0' && n + 3 < size)
		line[n++] = prog[p++];
	line[n++] = ':', line[n++] = ' ';
	while (what[w] != '\0')
		w++;
	n += textline(line + n, size - n - 1, what, w, false);
	line[n++] = '\n';
	return n;
}

void saytext(const char *prog, const char *what)
{
	char line[4096];
	size_t n = textmsg(line, sizeof line, prog, what);
	// fprintf, which an unbuffered stream writes at once, and which the
	// build fortifies: Debian's hardening checks look for such a call in
	// each program that reads.
	fprintf(stderr, "%.*s", static_cast<int>(n), line);
}

size_t unsignedout(char *out, unsigned long long v)
{
	char d[24], *p = d + sizeof d;
	do
		*--p = static_cast<char>('0' + v % 10);
	while ((v /= 10) > 0);
	size_t n = static_cast<size_t>(d + sizeof d - p);
	for (size_t i = 0; i < n; i++)
		out[i] = p[i];
	return n;
}

bool writeall(int fd, const char *p, size_t n)
{
	for (size_t at = 0; at < n;) {
		ssize_t w = write(fd, p + at, n - at);
		if (w < 0 && errno == EINTR)
			continue;
		if (w <= 0)
			return false;
		at += static_cast<size_t>(w);
	}
	return true;
}

size_t numout(char *out, long long v)
{
	if (v >= 0)
		return unsignedout(out, static_cast<unsigned long long>(v));
	// Negated as unsigned, where the least long long has no opposite.
	out[0] = '-';
	return 1 + unsignedout(out + 1, 0ULL - static_cast<unsigned long long>(v));
}

void textcat(char *m, size_t size, const char *z)
{
	size_t at = 0, n = 0;
	while (m[at] != '\0')
		at++;
	while (z[n] != '\0' && at + n + 1 < size)
		n++;
	if (z[n] != '\0')	// cut: back to a character's first byte
		while (n > 0 && (static_cast<unsigned char>(z[n]) & 0xC0) == 0x80)
			n--;
	for (size_t i = 0; i < n; i++)
		m[at + i] = z[i];
	m[at + n] = '\0';
}

void textcatnum(char *m, size_t size, unsigned long long v)
{
	char d[24];
	d[unsignedout(d, v)] = '\0';
	textcat(m, size, d);
}
