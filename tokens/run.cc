// The three tools' command lines and work. A key is read from a file or
// a variable, never from the command line, where ps and set -x would
// show it, and whatever held it is wiped before the run returns.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "hook.h"
#include "jwt.h"
#include "tokens.h"
#include "trust.h"

const char b64usage[] = "usage: b64 [-d] [-u] [string]";
const char hmacusage[] = "usage: hmac [-a sha1|sha256|sha384|sha512] [-K FILE | -k NAME]... [-f raw|hex|base64] [-N] [-b | -u] [-c EXPECTED] [string]";
const char randusage[] = "usage: randtoken [-n BYTES] [-u]";
const char jwtusage[] = "usage: jwtoken [-s] -a HS256|HS384|HS512 -K FILE | -k NAME... [-w LEEWAY] token | json";
const char hookusage[] = "usage: hookverify -S SCHEME -K FILE... [-w SECONDS] [-u URL] [-H 'Name: value']...";

enum { keysmost = 8, keybytes = 65536, inputmost = 64 << 20, tokenmost = 1024, headersmost = 32 };

static char msg[256];

static const char *says(const char *what, const char *detail)
{
	snprintf(msg, sizeof msg, "%s%s", what, detail);
	return msg;
}

// A growing buffer of bytes; false where memory or a limit runs out.
struct bytes {
	unsigned char *p;
	size_t n, cap;
};

static bool more(bytes *b, size_t n)
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

static void drop(bytes *b)
{
	if (b->p != nullptr) {
		wipe(b->p, b->cap);
		free(b->p);
	}
	*b = bytes{};
}

// All of fd, at most most bytes; null, or what went wrong.
static const char *slurp(int fd, bytes *b, size_t most)
{
	for (;;) {
		if (!more(b, 65536))
			return "cannot allocate memory for the input";
		ssize_t got = read(fd, b->p + b->n, 65536);
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

struct job {
	bool decode, urlsafe, b64out, keepnl;
	const char *url;	// hookverify's
	const char *jwtalg;	// jwtoken's
	hashalg alg;
	basekind keyform;
	const char *expect, *string;
	const char *keyfiles[keysmost], *keyvars[keysmost];
	int nfiles, nvars;
	unsigned long count;
	hookscheme scheme;
	bool schemed;
	long long tolerance;
	const char *headers[headersmost];
	int nheaders;
};

// The command line into j; null, or what is wrong with it.
static const char *options(const char *tool, int argc, char *const argv[], job *j)
{
	bool hm = strcmp(tool, "hmac") == 0, b64 = strcmp(tool, "b64") == 0, hook = strcmp(tool, "hookverify") == 0;
	bool jwt = strcmp(tool, "jwtoken") == 0;
	const char *usage = hm ? hmacusage : b64 ? b64usage : hook ? hookusage : jwt ? jwtusage : randusage;
	j->alg = alg_sha256, j->keyform = base_64url, j->count = 32;	// base_64url: raw, below
	j->tolerance = jwt ? 0 : 300;
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		const char *o = argv[i], *arg = i + 1 < argc ? argv[i + 1] : nullptr;
		if (strcmp(o, "--") == 0) {
			i++;
			break;
		}
		if (o[2] != '\0')
			return usage;
		const char *takers = hm ? "aKkfc" : b64 ? "" : hook ? "SKwuH" : jwt ? "aKkw" : "n";
		bool takes = strchr(takers, o[1]) != nullptr;
		if (takes && arg == nullptr)
			return usage;
		if (strchr(hm ? "abcfKkNu" : b64 ? "du" : hook ? "SKwuH" : jwt ? "saKkw" : "nu", o[1]) == nullptr)
			return usage;
		if (jwt && o[1] == 'a') {
			hashalg a;
			if (!jwtalg(arg, &a))
				return says("-a: an algorithm of HS256, HS384 and HS512, not ", arg);
			j->jwtalg = arg;
			i++;
			continue;
		}
		if (hook && o[1] == 'u') {
			j->url = arg;
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
			if (!hashnamed(arg, &j->alg))
				return says("-a: no such hash, of sha1, sha256, sha384 and sha512: ", arg);
			break;
		case 'f':
			if (strcmp(arg, "raw") != 0 && strcmp(arg, "hex") != 0 && strcmp(arg, "base64") != 0)
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
			if (!hooknamed(arg, &j->scheme))
				return says("-S: a scheme of github, stripe, slack, shopify, standard, twilio and gitlab, not ", arg);
			j->schemed = true;
			break;
		case 'w': {
			char *end;
			j->tolerance = strtoll(arg, &end, 10);
			if (*arg < '0' || *arg > '9' || *end != '\0' || end - arg > 9)
				return says("-w: a number of seconds, not ", arg);
			break;
		}
		case 'H':
			if (strchr(arg, ':') == nullptr || j->nheaders == headersmost)
				return says("-H: a header as 'Name: value', at most 32 of them, not ", arg);
			j->headers[j->nheaders++] = arg;
			break;
		case 'n': {
			char *end;
			j->count = strtoul(arg, &end, 10);
			if (*arg < '0' || *arg > '9' || *end != '\0' || j->count == 0 || j->count > tokenmost)
				return says("-n: a number of bytes from 1 to 1024, not ", arg);
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
	if (hook && (!j->schemed || j->nfiles == 0))
		return usage;
	if (jwt && (j->jwtalg == nullptr || j->nfiles + j->nvars == 0 || i + 1 != argc))
		return usage;
	if (jwt && j->decode && j->nfiles + j->nvars > 1)
		return "-s signs with one key";
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
			snprintf(msg, sizeof msg, "a key that is not %s: %s at offset %zu",
				 j->keyform == base_hex ? "hex" : "base64", bad, len);
			return msg;
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
	if (*why != nullptr && strcmp(*why, "too long") == 0)
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

static const char *loadkeys(const job *j, keyvarfn *var, bytes *keys)
{
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
			char detail[128];
			snprintf(detail, sizeof detail, "%s", bad);
			snprintf(msg, sizeof msg, "-K %.100s: %s", j->keyfiles[k], detail);
			return msg;
		}
	}
	for (int k = 0; k < j->nvars; k++) {
		const char *v = var != nullptr ? var(j->keyvars[k]) : nullptr;
		if (var == nullptr)
			return "-k NAME is the builtin's: the program takes -K FILE";
		const char *bad = v == nullptr ? "no such variable" : keyed(j, v, strlen(v), &keys[j->nfiles + k]);
		if (bad != nullptr) {
			char detail[128];
			snprintf(detail, sizeof detail, "%s", bad);
			snprintf(msg, sizeof msg, "-k %.100s: %s", j->keyvars[k], detail);
			return msg;
		}
	}
	return nullptr;
}

static char *result(const char *s, size_t n, size_t *len)
{
	char *out = static_cast<char *>(malloc(n + 1));
	if (out != nullptr) {
		memcpy(out, s, n);
		out[n] = '\0';
		*len = n;
	}
	return out;
}

static char *hmacrun(const job *j, keyvarfn *var, size_t *len, const char **why)
{
	bytes keys[keysmost] = {};
	int nkeys = j->nfiles + j->nvars;
	hmac m[keysmost];
	hash plain;
	char *out = nullptr;
	if ((*why = loadkeys(j, var, keys)) != nullptr)
		goto done;
	for (int k = 0; k < nkeys; k++)
		hmacstart(&m[k], j->alg, keys[k].p, keys[k].n);
	hashstart(&plain, j->alg);
	if (j->string != nullptr) {
		for (int k = 0; k < nkeys; k++)
			hmacadd(&m[k], j->string, strlen(j->string));
		hashadd(&plain, j->string, strlen(j->string));
	} else {
		// Standard input is hashed as it is read, whatever its length.
		unsigned char buf[65536];
		for (;;) {
			ssize_t got = read(0, buf, sizeof buf);
			if (got < 0 && errno == EINTR)
				continue;
			if (got < 0) {
				*why = says("standard input: ", strerror(errno));
				goto done;
			}
			if (got == 0)
				break;
			for (int k = 0; k < nkeys; k++)
				hmacadd(&m[k], buf, static_cast<size_t>(got));
			if (nkeys == 0)
				hashadd(&plain, buf, static_cast<size_t>(got));
		}
		wipe(buf, sizeof buf);
	}
	{
		unsigned char mac[keysmost][hashmost], want[hashmost * 2];
		size_t size = hashsize(j->alg), wantn = 0;
		for (int k = 0; k < nkeys; k++)
			hmacend(&m[k], mac[k]);
		if (nkeys == 0)
			hashend(&plain, mac[0]);
		wipe(&plain, sizeof plain);
		if (j->expect != nullptr) {
			// EXPECTED in the form that -b or -u says, hex without
			// regard to case; a malformed one matches nothing.
			size_t n = strlen(j->expect);
			basekind form = j->b64out ? base_64 : j->urlsafe ? base_64url : base_hex;
			bool good = n <= 2 * size + 4 &&
				    basein(form, form == base_64 ? pad_must : pad_may, j->expect, n, want, &wantn) == nullptr;
			bool match = false;
			for (int k = 0; k < (nkeys > 0 ? nkeys : 1); k++)
				match |= sameconst(mac[k], size, want, good ? wantn : 0) && good;
			out = match ? result("", 0, len) : nullptr;
			if (match && out == nullptr)
				*why = "cannot allocate the result";
		} else {
			char text[hashmost * 2 + 1];
			basekind form = j->b64out ? base_64 : j->urlsafe ? base_64url : base_hex;
			size_t n = baseout(form, text, mac[0], size, j->b64out);
			if ((out = result(text, n, len)) == nullptr)
				*why = "cannot allocate the result";
		}
		wipe(mac, sizeof mac);
		wipe(want, sizeof want);
	}
done:
	for (int k = 0; k < keysmost; k++)
		drop(&keys[k]);
	wipe(m, sizeof m);
	return out;
}

static char *b64run(const job *j, size_t *len, const char **why)
{
	bytes in = {};
	const char *s = j->string;
	size_t n = s != nullptr ? strlen(s) : 0;
	char *out = nullptr;
	if (s == nullptr) {
		const char *bad = slurp(0, &in, inputmost);
		if (bad != nullptr) {
			*why = says("standard input: ", strcmp(bad, "too long") == 0 ? "more than 64 MiB" : bad);
			drop(&in);
			return nullptr;
		}
		s = reinterpret_cast<const char *>(in.p), n = in.n;
		// A file's or a here-string's last newline ends its line.
		if (j->decode && n > 0 && s[n - 1] == '\n')
			n--;
	}
	basekind k = j->urlsafe ? base_64url : base_64;
	if (!j->decode) {
		out = static_cast<char *>(malloc(baselen(k, n, !j->urlsafe) + 1));
		if (out != nullptr)
			*len = baseout(k, out, s != nullptr ? s : "", n, !j->urlsafe);
	} else if ((out = static_cast<char *>(malloc(n / 4 * 3 + 3))) != nullptr) {
		const char *bad = basein(k, j->urlsafe ? pad_may : pad_must, s != nullptr ? s : "", n,
					 reinterpret_cast<unsigned char *>(out), len);
		if (bad != nullptr) {
			snprintf(msg, sizeof msg, "not %s: %s at offset %zu", j->urlsafe ? "base64url" : "base64", bad, *len);
			*why = msg;
			free(out);
			out = nullptr;
		} else {
			out[*len] = '\0';
		}
	}
	if (out == nullptr && *why == nullptr)
		*why = "cannot allocate the result";
	drop(&in);
	return out;
}

// A header's value: from -H, whose name is matched as CGI names it
// (HTTP_ and the name in upper case, '-' as '_'; Content-Type as
// CONTENT_TYPE), or else from the environment.
static const char *header(void *arg, const char *name)
{
	const job *j = static_cast<const job *>(arg);
	for (int h = j->nheaders - 1; h >= 0; h--) {
		const char *given = j->headers[h], *colon = strchr(given, ':');
		bool plain = strcmp(name, "CONTENT_TYPE") == 0;
		const char *want = name + (plain ? 0 : 5);
		size_t n = static_cast<size_t>(colon - given);
		if (strlen(want) != n)
			continue;
		size_t i = 0;
		for (; i < n; i++) {
			char c = given[i] >= 'a' && given[i] <= 'z' ? static_cast<char>(given[i] - 32) : given[i] == '-' ? '_' : given[i];
			if (c != want[i])
				break;
		}
		if (i == n)
			return colon + 1 + strspn(colon + 1, " \t");
	}
	return getenv(name);
}

// The body whole, checked, and only then given back to be written.
static char *hookrun(const job *j, size_t *len, const char **why)
{
	bytes keys[keysmost] = {}, body = {};
	hookkey k[keysmost];
	char *out = nullptr;
	static hookcheck c;
	const char *bad = loadkeys(j, nullptr, keys);
	if (bad != nullptr) {
		*why = bad;
		goto done;
	}
	for (int i = 0; i < j->nfiles; i++)
		k[i] = {keys[i].p, keys[i].n};
	if (hookstart(&c, j->scheme, header, const_cast<job *>(j), k, j->nfiles, j->tolerance, time(nullptr), j->url) !=
	    hook_ok) {
		*why = c.msg;
		goto done;
	}
	if ((bad = slurp(0, &body, inputmost)) != nullptr) {
		*why = says("standard input: ", strcmp(bad, "too long") == 0 ? "more than 64 MiB" : bad);
		goto done;
	}
	hookadd(&c, body.p, body.n);
	{
		// Twilio signs a form's fields; any other body, the bytes.
		const char *type = header(const_cast<job *>(j), "CONTENT_TYPE");
		bool form = j->scheme == hook_twilio && type != nullptr &&
			    strncmp(type, "application/x-www-form-urlencoded", 33) == 0 && (type[33] == '\0' || type[33] == ';');
		if (form && memchr(body.p, '\0', body.n) != nullptr) {
			*why = "a NUL byte in the form";
			goto done;
		}
		if (body.p != nullptr)
			body.p[body.n] = '\0';
		if (hookend(&c, form ? reinterpret_cast<const char *>(body.p) : nullptr, body.n) != hook_ok) {
			*why = c.msg;
			goto done;
		}
	}
	out = reinterpret_cast<char *>(body.p);
	*len = body.n;
	if (out == nullptr && (out = result("", 0, len)) == nullptr)
		*why = "cannot allocate the result";
	body = bytes{};
done:
	for (int i = 0; i < keysmost; i++)
		drop(&keys[i]);
	drop(&body);
	return out;
}

// A token verified, its claims the result; or one made of the claims.
static char *jwtrun(const job *j, keyvarfn *var, size_t *len, const char **why)
{
	bytes keys[keysmost] = {};
	jwtkey k[keysmost];
	jsonbuf out = {};
	int nkeys = j->nfiles + j->nvars;
	if ((*why = loadkeys(j, var, keys)) == nullptr) {
		for (int i = 0; i < nkeys; i++)
			k[i] = {keys[i].p, keys[i].n};
		*why = j->decode ? jwtsign(j->string, strlen(j->string), j->jwtalg, &k[0], &out) :
				   jwtverify(j->string, j->jwtalg, k, nkeys, j->tolerance, time(nullptr), &out);
	}
	for (int i = 0; i < keysmost; i++)
		drop(&keys[i]);
	if (*why == nullptr && out.bad)
		*why = "cannot allocate the result";
	if (*why != nullptr) {
		jsonfree(&out);
		return nullptr;
	}
	*len = out.n;
	return out.p != nullptr ? out.p : result("", 0, len);
}

char *tokens(const char *tool, int argc, char *const argv[], keyvarfn *var, size_t *n, const char **why)
{
	job j = {};
	*n = 0;
	if ((*why = options(tool, argc, argv, &j)) != nullptr)
		return nullptr;
	if (strcmp(tool, "hmac") == 0)
		return hmacrun(&j, var, n, why);
	if (strcmp(tool, "b64") == 0)
		return b64run(&j, n, why);
	if (strcmp(tool, "hookverify") == 0)
		return hookrun(&j, n, why);
	if (strcmp(tool, "jwtoken") == 0)
		return jwtrun(&j, var, n, why);
	unsigned char raw[tokenmost];
	char text[2 * tokenmost + 1];
	if (!randbytes(raw, j.count)) {
		*why = says("no random bytes from the kernel: ", strerror(errno));
		return nullptr;
	}
	size_t len = baseout(j.urlsafe ? base_64url : base_hex, text, raw, j.count, false);
	char *out = result(text, len, n);
	wipe(raw, sizeof raw);
	wipe(text, sizeof text);
	if (out == nullptr)
		*why = "cannot allocate the result";
	return out;
}
