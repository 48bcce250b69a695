// The JSON reader and builder: any input, read from memory and as a
// stream in short reads, gives the same result both ways; whatever is
// accepted compacts to a text that reads back to itself; and a text built
// back from its values, as jsonquote -A builds one, holds the same values.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <unistd.h>

#include "json.h"

static size_t chunk;
static json j;

static ssize_t shortread(int fd, char *buf, size_t len)
{
	return read(fd, buf, len < chunk ? len : chunk);
}

static bool take(void *arg, const char *s, size_t n)
{
	static_cast<std::string *>(arg)->append(s, n);
	return true;
}

// The compact text, or the reason for a refusal after "!".
static std::string compact(const std::string &text, bool strict, bool stream)
{
	std::string out;
	int fd = -1;
	if (stream) {
		fd = memfd_create("text", 0);
		if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
		    lseek(fd, 0, SEEK_SET) != 0)
			abort();
		jsonstream(&j, fd, shortread, ~0ULL, strict);
	} else {
		jsonmem(&j, text.data(), text.size(), strict);
	}
	const char *why = jsonget(&j, "", 0, take, &out);
	jsonend(&j);
	if (fd >= 0)
		close(fd);
	return why != nullptr ? std::string("!") + why : out;
}

// Every value, or those that patterns keep, as "pointer\ttype\tvalue\n"
// lines, sorted.
static std::vector<std::string> values(const std::string &text, jsonflat *f, const char *const *patterns = nullptr,
				       int npatterns = 0)
{
	jsonmem(&j, text.data(), text.size(), false);
	if (jsonall(&j, f, ~0UL, ~0ULL, patterns, npatterns) != nullptr)
		abort();
	jsonend(&j);
	std::vector<std::string> v;
	for (size_t i = 0; i < f->n; i++)
		v.push_back(std::string(f->bytes.p + f->v[i].ptr) + "\t" + jsontypes[f->v[i].type] + "\t" +
			    (f->bytes.p + f->v[i].value));
	std::sort(v.begin(), v.end());
	return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 1)
		return 0;
	// Reads of 1 to 32 bytes, or with 0x40 of as many KiB, as a long text
	// read a few bytes at a time would take most of a run.
	chunk = (1 + data[0] % 32u) * (data[0] & 0x40 ? 1024 : 1);
	bool strict = data[0] & 0x80;
	std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
	std::string once = compact(text, strict, false);
	if (compact(text, strict, true) != once)
		abort();
	if (once[0] == '!')
		return 0;
	// A scalar prints as its bytes; a container as a text.
	jsonmem(&j, text.data(), text.size(), false);
	jsonnext(&j);
	jsontype top = j.type;
	jsonend(&j);
	if (top < jsonarray)
		return 0;
	if (compact(once, strict, false) != once)
		abort();
	jsonflat f = {}, g = {};
	std::vector<std::string> before = values(once, &f);
	std::vector<char *> kv, tv;
	// As jsonparse -A and -T give them: a value for each scalar, a type
	// for each value, the whole text's under "#".
	for (size_t i = 0; i < f.n; i++) {
		if (f.v[i].type < jsonarray) {
			kv.push_back(f.bytes.p + f.v[i].ptr);
			kv.push_back(f.bytes.p + f.v[i].value);
		}
		tv.push_back(i == 0 ? const_cast<char *>("#") : f.bytes.p + f.v[i].ptr);
		tv.push_back(const_cast<char *>(jsontypes[f.v[i].type]));
	}
	jsonbuf out = {};
	char why[256];
	if (jsonbuild(kv.data(), kv.size() / 2, tv.data(), tv.size() / 2, false, &out, why, sizeof why) != nullptr)
		abort();
	std::string built(out.p, out.n);
	if (values(built, &g) != before || compact(built, false, false) != built)
		abort();
	jsonfree(&out);
	// Kept by a pattern of the text's own pointers, a lone '~' for a step
	// at will: exactly the values at or under a match, and the containers
	// on the way, as jsonunder says of each pointer of the whole.
	jsonflat h = {};
	std::string pattern = f.n > 1 ? f.bytes.p + f.v[f.n / 2].ptr : "";
	for (size_t at = 1, k = 0; at < pattern.size(); k++) {
		size_t end = pattern.find('/', at);
		end = end == std::string::npos ? pattern.size() : end;
		if ((data[0] >> (k % 6)) & 1)
			pattern.replace(at, end - at, "~"), end = at + 1;
		at = end + 1;
	}
	const char *patterns[] = {pattern.c_str()};
	std::vector<std::string> kept = values(once, &h, patterns, 1), want;
	for (size_t i = 0; i < f.n; i++) {
		const char *p = f.bytes.p + f.v[i].ptr;
		int how = jsonunder(p, strlen(p), patterns, 1);
		if (how == 2 || (how == 1 && f.v[i].type >= jsonarray))
			want.push_back(std::string(p) + "\t" + jsontypes[f.v[i].type] + "\t" + (f.bytes.p + f.v[i].value));
	}
	std::sort(want.begin(), want.end());
	if (kept != want)
		abort();
	jsonflatfree(&f);
	jsonflatfree(&g);
	jsonflatfree(&h);
	return 0;
}
