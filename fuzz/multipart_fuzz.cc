// The multipart reader: a body made from fuzzed fields, text and files in
// turn, read back in fuzzed short reads, gives back every name, filename
// and value byte for byte, or refuses a name that no quoted string can
// hold; and any input at all, read as a body, is clean under the
// sanitizers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <unistd.h>

#include "multipart.h"

static size_t chunk;

static ssize_t shortread(int fd, char *buf, size_t len)
{
	return read(fd, buf, len < chunk ? len : chunk);
}

// Reads body as a form whose boundary is b; each part's name, filename
// (or "-" for a text field) and content in turn, and the names alone, or
// false on an error.
static bool parse(const std::string &body, const char *b, std::string *got,
		  std::vector<std::string> *names = nullptr)
{
	int fd = memfd_create("body", 0);
	if (fd < 0 || write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size()) ||
	    lseek(fd, 0, SEEK_SET) != 0)
		abort();
	static form f;
	std::string length = std::to_string(body.size()), type = std::string("multipart/form-data; boundary=\"") + b + "\"";
	const char *why = formbegin(&f, fd, shortread, length.c_str(), type.c_str(), ~0ULL);
	const char *name, *filename, *data;
	int r = why == nullptr ? 1 : -1;
	while (r > 0 && (r = formpart(&f, &name, &filename, &why)) > 0) {
		got->append(name).append(1, '\n').append(filename != nullptr ? filename : "-").append(1, '\n');
		if (names != nullptr)
			names->push_back(name);
		ssize_t n;
		while ((n = formpiece(&f, &data, &why)) > 0)
			got->append(data, static_cast<size_t>(n));
		got->append(1, '\n');
		r = n < 0 ? -1 : 1;
	}
	// Exactly the body, never a byte more.
	if (r == 0 && lseek(fd, 0, SEEK_CUR) != static_cast<off_t>(body.size()))
		abort();
	close(fd);
	return r == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 2)
		return 0;
	chunk = 1 + data[0] % 64 * (data[0] > 127 ? 1024 : 1);
	std::string in(reinterpret_cast<const char *>(data) + 1, size - 1), got;
	parse(in, "b", &got);

	// Fields split at 0xFF: each name is its field up to the first ':'
	// with what a header line cannot hold taken out, and its value the
	// rest, repeated as often as its first byte says, so that some pass
	// through the window more than once. A name is written in quotes as it
	// stands: one with ';' must come back whole; one with a control byte
	// or a backslash, which readers take in different ways, must be
	// refused; and one with a quote, which ends the string, is refused or
	// read as far as that quote.
	const char *b = "fuzz-boundary";
	std::string body, want;
	std::vector<std::string> cut;
	bool control = false, quote = false;
	size_t i = 0;
	for (size_t field = 0; i < in.size(); field++) {
		size_t end = in.find('\xff', i);
		if (end == std::string::npos)
			end = in.size();
		std::string f = in.substr(i, end - i), name = "n", value;
		i = end + 1;
		size_t colon = f.find(':');
		for (char c : f.substr(0, colon))
			if (c != '\r' && c != '\n' && c != '\0')
				name += c;
		for (char c : name)
			control = control || (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F ||
				  c == '\\';
		quote = quote || name.find('"') != std::string::npos;
		cut.push_back(name.substr(0, name.find('"')));
		if (colon != std::string::npos)
			for (int k = 1 + static_cast<unsigned char>(f[0]) % 8 * 3; k > 0; k--)
				value += f.substr(colon + 1);
		// No value may hold the delimiter, nor begin with the rest of it, as
		// the empty line's CRLF may begin one.
		if (("\r\n" + value).find(std::string("\r\n--") + b) != std::string::npos)
			return 0;
		std::string filename = field % 2 != 0 ? name + ".bin" : "-";
		body += std::string("--") + b + "\r\nContent-Disposition: form-data; name=\"" + name + "\"" +
			(field % 2 != 0 ? "; filename=\"" + filename + "\"" : "") + "\r\n\r\n" + value + "\r\n";
		want += name + "\n" + filename + "\n" + value + "\n";
	}
	body += std::string("--") + b + "--\r\n";
	got.clear();
	std::vector<std::string> names;
	bool read = parse(body, b, &got, &names);
	if (control ? read : quote ? read && names != cut : !read || got != want)
		abort();
	return 0;
}
