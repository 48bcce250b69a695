// The JSON reader and builder: any input, read from memory and as a
// stream in short reads, gives the same result both ways; whatever is
// accepted compacts to a text that reads back to itself; and a text built
// back from its values, as jsonquote -A builds one, holds the same values.
// What a reading passes over, as nothing asks for it, gets the verdict of
// a reading that announces every value.
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

// The value at pointer, as jsonget gives it, read from memory or as a
// stream; or "!" and the reason for a refusal, or "?" where it names
// nothing. With nullempty, a null is nothing, as the line mode has it.
static std::string get(const std::string &text, bool strict, const char *pointer, char what, bool stream,
		       bool nullempty)
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
	bool absent = false;
	const char *why = jsonget(&j, pointer, what, take, &out, &absent, nullempty);
	jsonend(&j);
	if (fd >= 0)
		close(fd);
	return why == nullptr ? out : absent ? "?" : std::string("!") + why;
}

// The compact text, or the reason for a refusal after "!".
static std::string compact(const std::string &text, bool strict, bool stream)
{
	return get(text, strict, "", 0, stream, false);
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

// A value as a field of the line mode: a backslash, TAB, newline and CR
// escaped, in one pass, as a value may hold many.
static std::string tsv(const std::string &v)
{
	std::string f;
	for (char c : v) {
		const char *e = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
		if (e != nullptr)
			f += e;
		else
			f += c;
	}
	return f;
}

// What the line mode gives for a record, as the reader finds it: "!" and
// the reason for a refusal, or the fields.
static std::string record(const std::string &text, const jsonjob &job)
{
	jsonflat f = {};
	jsonmem(&j, text.data(), text.size(), job.strict);
	const char *why = jsonall(&j, &f, ~0UL, ~0ULL);
	jsonflatfree(&f);
	jsonend(&j);
	if (why != nullptr)
		return std::string("!") + why;
	std::string fields;
	for (int i = 0; i < job.npointers; i++) {
		std::string v = get(text, job.strict, job.pointers[i], 0, false, true);
		fields += (i > 0 ? "\t" : "") + (v == "?" ? "" : tsv(v));
	}
	return fields;
}

// What the line mode gives for a record through jsonfields, with the
// shapes of the records before it. The record is in memory of its own
// length and a NUL, as the line mode holds it, so that a read past them
// is seen.
static std::string fields(const std::string &text, const jsonjob &job, jsonshapes *shapes)
{
	std::string line;
	char *rec = static_cast<char *>(malloc(text.size() + 1));
	memcpy(rec, text.data(), text.size());
	rec[text.size()] = '\0';
	const char *why = jsonfields(&j, &job, shapes, rec, text.size(), take, &line);
	free(rec);
	jsonend(&j);
	return why != nullptr ? std::string("!") + why : line;
}

// What nothing asks for is passed over, not announced: whatever is asked,
// the verdict is that of a reading that announces every value, to the
// letter of its message, and each value asked for is the same read alone,
// from memory or as a stream, or among others, as the line mode reads,
// whether a record is read whole or checked against the shape of one
// before it.
static void passing(const std::string &text, bool strict)
{
	jsonflat f = {};
	jsonmem(&j, text.data(), text.size(), strict);
	const char *why = jsonall(&j, &f, ~0UL, ~0ULL);
	std::string whole = why != nullptr ? std::string("!") + why : "";
	// Pointers of values read before any refusal, which lies near the
	// last of them, and one of nothing.
	std::vector<std::string> asked;
	for (size_t k : {f.n / 3, f.n / 2, f.n - 1})
		if (k < f.n)
			asked.push_back(f.bytes.p + f.v[k].ptr);
	asked.push_back("/0/no~1where");
	jsonflatfree(&f);
	jsonend(&j);
	jsonjob job = {};
	job.strict = strict;
	for (const std::string &p : asked)
		job.pointers[job.npointers++] = p.c_str();
	jsonmem(&j, text.data(), text.size(), strict);
	why = jsonall(&j, &f, ~0UL, ~0ULL, job.pointers, job.npointers);
	if ((why != nullptr ? std::string("!") + why : "") != whole)
		abort();
	jsonflatfree(&f);
	jsonend(&j);
	for (int i = 0; i < job.npointers; i++) {
		std::string v = get(text, strict, job.pointers[i], 0, false, true);
		if ((i == 1 && v != get(text, strict, job.pointers[i], 0, true, true)) ||
		    (!whole.empty() && (v != whole || get(text, strict, job.pointers[i], 'c', false, false) != whole)))
			abort();
	}
	// The text twice, the second time as its own shape; then, where it
	// has a newline, the records before and after it in turn, and
	// otherwise the text with each digit another, as a log's next record
	// would have its own numbers in the same places.
	std::string want = record(text, job), one = text, two = text;
	size_t nl = text.find('\n');
	if (nl != std::string::npos) {
		one = text.substr(0, nl);
		two = text.substr(nl + 1);
	} else {
		for (char &c : two)
			c = c >= '0' && c <= '9' ? static_cast<char>('0' + (c - '0' + 1) % 10) : c;
	}
	std::string wantone = nl != std::string::npos ? record(one, job) : want, wanttwo = record(two, job);
	static jsonshapes shapes;
	shapes = {};
	if (fields(text, job, &shapes) != want || fields(text, job, &shapes) != want ||
	    fields(one, job, &shapes) != wantone || fields(two, job, &shapes) != wanttwo ||
	    fields(one, job, &shapes) != wantone || fields(two, job, &shapes) != wanttwo)
		abort();
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
	passing(text, strict);
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
