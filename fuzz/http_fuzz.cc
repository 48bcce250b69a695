// The HTTP readers on any bytes, the first of which picks one: a head,
// read whole and a few bytes at a time, with the same verdict and pairs
// both ways; or one field's value by a grammar. A structured field that
// is read writes a canonical form that reads again to itself; a file name
// that Content-Disposition gives is one a script may save under. All of
// it clean under the sanitizers.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http.h"
#include "text.h"
#include "url.h"

static std::string dump(const char *why, const httpout *o)
{
	if (why != nullptr)
		return std::string("!") + why;
	std::string s;
	for (size_t i = 0; i < o->n; i++)
		s += std::string(httpkey(o, i)) + '\0' + httpvalue(o, i) + '\0';
	return s;
}

static const uint8_t *feed;
static size_t left, piece;
static ssize_t trickle(int, char *buf, size_t len)
{
	size_t n = std::min({len, piece, left});
	memcpy(buf, feed, n);
	feed += n;
	left -= n;
	return static_cast<ssize_t>(n);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size == 0)
		return 0;
	const char *s = reinterpret_cast<const char *>(data + 1);
	size_t n = size - 1;
	httpout o = {};
	uint8_t pick = data[0] % 10;
	if (pick < 2) {
		// Limits small enough that inputs pass them.
		headlimits lim = {pick == 0 ? headbytes : 300, pick == 0 ? headfields : 8, (data[0] & 0x80) != 0};
		std::string whole = dump(headmem(s, n, &lim, &o), &o);
		feed = data + 1;
		left = n;
		piece = 1 + data[0] % 13;
		if (dump(headread(0, trickle, &lim, &o), &o) != whole)
			abort();
		httpfree(&o);
		return 0;
	}
	static const char *const kinds[] = {"link", "date", "retry-after", "disposition", "auth", "sf-item", "sf-list", "sf-dict"};
	const char *kind = kinds[pick - 2];
	url base;
	urlinit(&base);
	report r = {};
	parseurl("https://b.example/d/", 20, nullptr, &base, &r);
	fieldjob j = {&base, 1700000000, false};
	const char *why = fieldnamed(kind)(s, n, &j, &o);
	if (why == nullptr && strncmp(kind, "sf-", 3) == 0) {
		// The canonical form reads again to itself, with the same paths.
		std::string canon = httpvalue(&o, 0), first = dump(nullptr, &o);
		httpout again = {};
		if (fieldnamed(kind)(canon.data(), canon.size(), &j, &again) != nullptr || dump(nullptr, &again) != first)
			abort();
		httpfree(&again);
	}
	if (why == nullptr && strcmp(kind, "disposition") == 0) {
		long f = httpfind(&o, "filename");
		if (f >= 0) {
			const char *name = httpvalue(&o, static_cast<size_t>(f));
			if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || strpbrk(name, "/\\") != nullptr ||
			    utf8bad(name) >= 0)
				abort();
			for (const char *p = name; *p != '\0'; p++)
				if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f)
					abort();
		}
	}
	urlfree(&base);
	httpfree(&o);
	return 0;
}
