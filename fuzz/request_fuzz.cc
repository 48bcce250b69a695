// The request reader: any body, of any of its types, read in fuzzed
// short reads, with its files made in a folder of its own, is clean under
// the sanitizers and leaves no file behind; held whole, it is the input
// byte for byte; and where it comes with a signature that no key gives,
// the only verdict is the signature's, whatever the parsers make of it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "request.h"

static size_t chunk;

static ssize_t shortread(int fd, char *buf, size_t len)
{
	return read(fd, buf, len < chunk ? len : chunk);
}

static const char *forged(void *, const char *name)
{
	return strcmp(name, "HTTP_X_HUB_SIGNATURE_256") == 0 ?
		"sha256=0000000000000000000000000000000000000000000000000000000000000000" : nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	if (size < 2)
		return 0;
	// The first byte: how much a read gives, the type, signed or not,
	// held whole or not.
	chunk = 1 + data[0] % 16 * (data[0] & 16 ? 4096 : 1);
	static const char *const types[] = {"multipart/form-data; boundary=XX", "application/x-www-form-urlencoded",
					    "application/json", "text/plain"};
	const char *type = types[data[1] & 3];
	bool sign = (data[1] & 4) != 0, whole = (data[1] & 8) != 0;
	std::string body(reinterpret_cast<const char *>(data) + 2, size - 2);
	int fd = memfd_create("body", 0);
	if (fd < 0 || write(fd, body.data(), body.size()) != static_cast<ssize_t>(body.size()) ||
	    lseek(fd, 0, SEEK_SET) != 0)
		abort();
	static char dir[] = "/tmp/request_fuzz.XXXXXX";
	static bool made = mkdtemp(dir) != nullptr;
	if (!made)
		abort();

	request *r = static_cast<request *>(calloc(1, sizeof *r));
	r->rd = shortread;
	r->kinds = 7;
	r->whole = whole;
	r->strict = (data[1] & 16) != 0;
	r->limit = 1 << 20;
	r->most = 1000;
	r->maxbytes = 1 << 16;
	r->dir = dir;
	reqstatus st;
	char msg[256];
	static const unsigned char key[] = "k";
	hookkey k = {key, 1};
	if (sign && (r->hook = reqsign(hook_github, forged, nullptr, &k, 1, 300, nullptr, &st, msg, sizeof msg)) == nullptr)
		abort();
	std::string length = std::to_string(body.size());
	st = reqread(r, fd, length.c_str(), type);
	if (sign && st != req_unsigned)
		abort();
	if (sign && strcmp(r->msg, "signature wrong: no key gives it over this body") != 0)
		abort();
	if (!sign && whole && (st != req_ok || r->bodylen != body.size() || memcmp(r->body, body.data(), body.size()) != 0))
		abort();
	if (st == req_ok && !reqname(r))
		abort();
	reqfree(r, false);
	free(r);
	close(fd);
	// Every file made is gone.
	if (rmdir(dir) != 0 || mkdir(dir, 0700) != 0)
		abort();
	return 0;
}
