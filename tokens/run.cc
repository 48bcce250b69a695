// What the tools share: the command line, keys from files and variables,
// and buffers that are wiped when they are given back. A key is never a
// word of the command line, where ps and set -x would show it.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "intern.h"

const char b64usage[] = "usage: b64 [-d] [-u] [string]";
const char hmacusage[] = "usage: hmac [-a sha1|sha256|sha384|sha512] [-K FILE | -k NAME]... [-f raw|hex|base64] [-N] [-b | -u] [-c EXPECTED] [string]";
const char randusage[] = "usage: randtoken [-n BYTES] [-u]";
const char jwtusage[] = "usage: jwtoken [-s] -a HS256|HS384|HS512|EdDSA|ES256 -K FILE | -k NAME... [-f raw|hex|base64] [-N] [-w LEEWAY] [-I ISSUER] [-U AUDIENCE] [-R NAMES] token | json";
const char hookusage[] = "usage: hookverify -S SCHEME -K FILE... [-w SECONDS] [-t SECONDS] [-u URL] [-R DIR [-r SECONDS]] [-H 'Name: value']...";

char msg[256];

// Built by hand, as a program pays at its start for each function of the
// C library that it calls.
const char *says(const char *a, const char *b, const char *c, const char *d, const char *e, const char *f)
{
	const char *parts[] = {a, b, c, d, e, f};
	size_t n = 0;
	for (const char *p : parts)
		for (; *p != '\0' && n + 1 < sizeof msg; p++)
			msg[n++] = *p;
	msg[n] = '\0';
	return msg;
}

const char *decimal(unsigned long long v)
{
	static char s[24];
	char *p = s + sizeof s - 1;
	*p = '\0';
	do
		*--p = static_cast<char>('0' + v % 10);
	while ((v /= 10) != 0);
	return p;
}

// Decimal digits alone, at most most of them, into *v.
static bool digits(const char *s, int most, unsigned long long *v)
{
	*v = 0;
	int n = 0;
	for (; s[n] >= '0' && s[n] <= '9'; n++)
		*v = *v * 10 + static_cast<unsigned>(s[n] - '0');
	return n > 0 && n <= most && s[n] == '\0';
}

// Whether the first n bytes of a are lower, in any case of ASCII.
static bool samecase(const char *a, const char *lower, size_t n)
{
	for (size_t i = 0; i < n; i++)
		if ((a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i]) != lower[i])
			return false;
	return true;
}

bool same(const char *a, const char *b)
{
	for (; *a != '\0' && *a == *b; a++, b++)
		;
	return *a == *b;
}

static bool has(const char *set, char c)
{
	for (; *set != '\0'; set++)
		if (*set == c)
			return true;
	return false;
}

bool more(bytes *b, size_t n)
{
	if (b->n + n + 1 <= b->cap)
		return true;
	size_t cap = b->cap == 0 ? 4096 : b->cap;
	while (cap < b->n + n + 1)
		cap *= 2;
	unsigned char *p = static_cast<unsigned char *>(malloc(cap));
	if (p == nullptr)
		return false;
	if (b->n > 0)
		memcpy(p, b->p, b->n);
	if (b->p != nullptr) {
		wipe(b->p, b->cap);
		free(b->p);
	}
	b->p = p, b->cap = cap;
	return true;
}

void drop(bytes *b)
{
	if (b->p != nullptr) {
		wipe(b->p, b->cap);
		free(b->p);
	}
	*b = bytes{};
}

// All of fd, at most most bytes; null, or what went wrong.
const char *slurp(int fd, bytes *b, size_t most)
{
	for (;;) {
		if (!more(b, b->cap > b->n + 4096 ? 0 : 4096))
			return "cannot allocate memory for the input";
		ssize_t got = read(fd, b->p + b->n, b->cap - b->n - 1);
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0)
			return strerror(errno);
		if (got == 0)
			return nullptr;
		b->n += static_cast<size_t>(got);
		if (b->n > most)
			return "too long";
	}
}

bool badline;

// The command line into j; null, or what is wrong with it.
static const char *readoptions(const char *tool, int argc, char *const argv[], job *j);

const char *options(const char *tool, int argc, char *const argv[], job *j)
{
	const char *why = readoptions(tool, argc, argv, j);
	badline = why != nullptr;
	return why;
}

static const char *readoptions(const char *tool, int argc, char *const argv[], job *j)
{
	bool hm = same(tool, "hmac"), b64 = same(tool, "b64"), hook = same(tool, "hookverify");
	bool jwt = same(tool, "jwtoken");
	const char *usage = hm ? hmacusage : b64 ? b64usage : hook ? hookusage : jwt ? jwtusage : randusage;
	j->keyform = base_64url, j->count = 32;	// base_64url: raw, below
	j->tolerance = jwt ? 0 : 300;
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		const char *o = argv[i], *arg = i + 1 < argc ? argv[i + 1] : nullptr;
		if (same(o, "--")) {
			i++;
			break;
		}
		if (o[2] != '\0')
			return usage;
		const char *takers = hm ? "aKkfc" : b64 ? "" : hook ? "SKwuHtRr" : jwt ? "aKkwfIUR" : "n";
		bool takes = has(takers, o[1]);
		if (takes && arg == nullptr)
			return usage;
		if (!has(hm ? "abcfKkNu" : b64 ? "du" : hook ? "SKwuHtRr" : jwt ? "saKkwfNIUR" : "nu", o[1]))
			return usage;
		if (hook && o[1] == 'u') {
			j->url = arg;
			i++;
			continue;
		}
		if (hook && (o[1] == 'R' || o[1] == 'r')) {
			unsigned long long v;
			if (o[1] == 'R')
				j->replays = arg;
			else if (!digits(arg, 9, &v) || v == 0)
				return says("-r: a number of seconds, not ", arg);
			else
				j->again = static_cast<long long>(v);
			i++;
			continue;
		}
		switch (o[1]) {
		case 'd':
		case 's':
			j->decode = true;	// jwtoken's -s: sign, not verify
			break;
		case 'u':
			j->urlsafe = true;
			break;
		case 'b':
			j->b64out = true;
			break;
		case 'N':
			j->keepnl = true;
			break;
		case 'a':
			j->algname = arg;	// the tool's to read
			break;
		case 'f':
			if (!same(arg, "raw") && !same(arg, "hex") && !same(arg, "base64"))
				return says("-f: a key is raw, hex or base64, not ", arg);
			j->keyform = arg[0] == 'r' ? base_64url : arg[0] == 'h' ? base_hex : base_64;
			break;
		case 'c':
			j->expect = arg;
			break;
		case 'K':
		case 'k':
			if (j->nfiles + j->nvars == keysmost)
				return "at most 8 keys";
			if (o[1] == 'K')
				j->keyfiles[j->nfiles++] = arg;
			else
				j->keyvars[j->nvars++] = arg;
			break;
		case 'S':
			j->schemename = arg;	// hookverify's to read
			break;
		case 'I':
			j->issuer = arg;
			break;
		case 'U':
			j->audience = arg;
			break;
		case 'R':
			j->required = arg;
			break;
		case 'w': {
			unsigned long long v;
			if (!digits(arg, 9, &v))
				return says("-w: a number of seconds, not ", arg);
			j->tolerance = static_cast<long long>(v);
			break;
		}
		case 'H': {
			// A field name is a token, right before its colon.
			size_t n = 0;
			while (arg[n] != '\0' && arg[n] > ' ' && arg[n] < 127 && !has("\"(),/:;<=>?@[\\]{}", arg[n]))
				n++;
			if (n == 0 || arg[n] != ':' || j->nheaders == headersmost)
				return says("-H: a header as 'Name: value', at most 32 of them, not ", arg);
			// GitLab's token is the secret itself, which no command
			// line may hold: ps and set -x show it.
			if (n == 14 && samecase(arg, "x-gitlab-token", 14))
				return "-H: X-Gitlab-Token is the secret itself: pass it in HTTP_X_GITLAB_TOKEN";
			j->headers[j->nheaders++] = arg;
			break;
		}
		case 't': {
			// Seconds, to the millisecond, as read -t takes them.
			unsigned long long v = 0, ms = 0;
			size_t n = 0, f = 0;
			for (; arg[n] >= '0' && arg[n] <= '9' && n < 9; n++)
				v = v * 10 + static_cast<unsigned>(arg[n] - '0');
			if (arg[n] == '.')
				for (n++; arg[n] >= '0' && arg[n] <= '9' && f < 3; n++, f++)
					ms = ms * 10 + static_cast<unsigned>(arg[n] - '0');
			for (; f < 3; f++)
				ms *= 10;
			if (arg[n] != '\0' || (n == 0) || (arg[0] == '.' && n == 1))
				return says("-t: a number of seconds, not ", arg);
			v = v * 1000 + ms;
			j->waitms = v > static_cast<unsigned long long>(LONG_MAX) ? LONG_MAX : static_cast<long>(v);
			j->waitname = arg;
			break;
		}
		case 'n': {
			unsigned long long v;
			if (!digits(arg, 4, &v) || v == 0 || v > tokenmost)
				return says("-n: a number of bytes from 1 to 1024, not ", arg);
			j->count = static_cast<unsigned long>(v);
			break;
		}
		default:
			return usage;
		}
		i += takes ? 1 : 0;
	}
	if (hm && j->urlsafe && j->b64out)
		return "-b and -u: one form of output";
	if (hm && j->nfiles + j->nvars > 1 && j->expect == nullptr)
		return "several keys only with -c, which any of them may match";
	if (hook && (j->schemename == nullptr || j->nfiles == 0))
		return usage;
	if (hook && j->again != 0 && j->replays == nullptr)
		return "-r goes with -R";
	if (jwt && (j->algname == nullptr || j->nfiles + j->nvars == 0 || i + 1 != argc))
		return usage;
	if (jwt && j->decode && j->nfiles + j->nvars > 1)
		return "-s signs with one key";
	if (jwt && j->decode && (j->issuer != nullptr || j->audience != nullptr || j->required != nullptr))
		return "-I, -U and -R check a token's claims: -s signs the claims as they are";
	if (!hm && !b64 && !jwt)
		return i == argc ? nullptr : usage;
	if (i + 1 < argc)
		return usage;
	j->string = i < argc ? argv[i] : nullptr;
	return nullptr;
}

// One key, as -f says it is written, into key; null, or what is wrong.
static const char *keyed(const job *j, const char *from, size_t n, bytes *key)
{
	if (j->keyform == base_64url) {		// raw
		if (!more(key, n))
			return "cannot allocate memory for a key";
		memcpy(key->p, from, n);
		key->n = n;
	} else {
		size_t len;
		if (!more(key, n))
			return "cannot allocate memory for a key";
		const char *bad = basein(j->keyform, pad_must, from, n, key->p, &len);
		if (bad != nullptr) {
			return says("a key that is not ", j->keyform == base_hex ? "hex" : "base64", ": ", bad, " at offset ",
				    decimal(len));
		}
		key->n = len;
	}
	return key->n == 0 ? "an empty key" : nullptr;
}

unsigned char *keyfile(const char *path, bool keepnl, size_t *n, const char **why)
{
	bytes raw = {};
	int fd = open(path, O_RDONLY | O_CLOEXEC);
	*why = fd < 0 ? strerror(errno) : slurp(fd, &raw, keybytes);
	if (fd >= 0)
		close(fd);
	if (*why != nullptr && same(*why, "too long"))
		*why = "longer than 64 KiB";
	if (*why == nullptr && !more(&raw, 0))
		*why = "cannot allocate memory for a key";
	if (*why != nullptr) {
		drop(&raw);
		return nullptr;
	}
	if (!keepnl && raw.n > 0 && raw.p[raw.n - 1] == '\n')
		raw.n--;
	raw.p[raw.n] = '\0';
	*n = raw.n;
	return raw.p;
}

// What is wrong with the key that option and name give. bad may be the
// message that says() made already, so it is copied out before.
static const char *keyfault(const char *option, const char *name, const char *bad)
{
	char detail[128];
	size_t n = 0;
	for (; bad[n] != '\0' && n + 1 < sizeof detail; n++)
		detail[n] = bad[n];
	detail[n] = '\0';
	return says(option, name, ": ", detail);
}

const char *loadkeys(const job *j, keyvarfn *var, bytes *keys)
{
	// A program that holds a key leaves no core with it, and no other
	// process of the user's reads its memory: undumpable before the key
	// is read. (A builtin's shell is the user's, and stays as it is.)
	if (var == nullptr && j->nfiles > 0 && prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
		return says("cannot make the process undumpable: ", strerror(errno));
	for (int k = 0; k < j->nfiles; k++) {
		size_t n;
		const char *bad;
		unsigned char *raw = keyfile(j->keyfiles[k], j->keepnl, &n, &bad);
		if (raw != nullptr) {
			bad = keyed(j, reinterpret_cast<const char *>(raw), n, &keys[k]);
			wipe(raw, n);
			free(raw);
		}
		if (bad != nullptr) {
			return keyfault("-K ", j->keyfiles[k], bad);
		}
	}
	for (int k = 0; k < j->nvars; k++) {
		const char *v = var != nullptr ? var(j->keyvars[k]) : nullptr;
		if (var == nullptr)
			return "-k NAME is the builtin's: the program takes -K FILE";
		const char *bad = v == nullptr ? "no such variable" : keyed(j, v, strlen(v), &keys[j->nfiles + k]);
		if (bad != nullptr) {
			return keyfault("-k ", j->keyvars[k], bad);
		}
	}
	return nullptr;
}

char *result(const char *s, size_t n, size_t *len)
{
	char *out = static_cast<char *>(malloc(n + 1));
	if (out != nullptr) {
		memcpy(out, s, n);
		out[n] = '\0';
		*len = n;
	}
	return out;
}

