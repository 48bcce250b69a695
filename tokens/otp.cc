// otp: the one-time password of a secret, TOTP at a time (the clock's by
// default) or HOTP at a counter, or with -c a code checked against it.
// The secret is base32, or an otpauth:// URI that carries it and its
// parameters, from a file or a variable: never a word of the command
// line.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "intern.h"
#include "url.h"
#include "urlcode.h"

const char otpusage[] = "usage: otp [-a sha1|sha256|sha512] [-d DIGITS] [-p PERIOD] [-t TIME | -n COUNTER] "
			"-K FILE | -k NAME [-N] [-c CODE [-W STEPS]]";

struct otpjob {
	hashalg alg;
	int digits;
	unsigned long long period, time, counter, window;
	bool hotp, gotalg, gotdigits, gotperiod, gottime, gotwindow;
	const char *code;
};

// Digits alone, at most most, and not more than 2^53.
static bool number(const char *s, unsigned long long most, unsigned long long *v)
{
	*v = 0;
	size_t n = 0;
	for (; s[n] >= '0' && s[n] <= '9'; n++) {
		if (*v > (1ULL << 53))
			return false;
		*v = *v * 10 + static_cast<unsigned>(s[n] - '0');
	}
	return n > 0 && s[n] == '\0' && *v <= most;
}

static const char *algorithm(const char *name, hashalg *alg)
{
	if (!hashnamed(name, alg) || *alg == alg_sha384)
		return "no such hash, of sha1, sha256 and sha512";
	return nullptr;
}

static const char *otpoptions(int argc, char *const argv[], otpjob *o, job *j)
{
	*o = {};
	o->alg = alg_sha1, o->digits = 6, o->period = 30, o->window = 1;
	j->keyform = base_64url;	// raw: the tool reads it
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		const char *opt = argv[i], *arg = i + 1 < argc ? argv[i + 1] : nullptr;
		if (same(opt, "--")) {
			i++;
			break;
		}
		if (same(opt, "-N")) {
			j->keepnl = true;
			continue;
		}
		if (opt[2] != '\0' || arg == nullptr || !(opt[1] == 'a' || opt[1] == 'd' || opt[1] == 'p' || opt[1] == 't' ||
							    opt[1] == 'n' || opt[1] == 'K' || opt[1] == 'k' || opt[1] == 'c' ||
							    opt[1] == 'W'))
			return otpusage;
		unsigned long long v;
		switch (opt[1]) {
		case 'a':
			if (algorithm(arg, &o->alg) != nullptr)
				return says("-a: no such hash, of sha1, sha256 and sha512: ", arg);
			o->gotalg = true;
			break;
		case 'd':
			if (!number(arg, 8, &v) || v < 6)
				return says("-d: a number of digits from 6 to 8, not ", arg);
			o->digits = static_cast<int>(v), o->gotdigits = true;
			break;
		case 'p':
			if (!number(arg, 1ULL << 32, &v) || v == 0)
				return says("-p: a period of seconds from 1, not ", arg);
			o->period = v, o->gotperiod = true;
			break;
		case 't':
		case 'n':
			if (!number(arg, 1ULL << 53, &v))
				return says(opt[1] == 't' ? "-t: seconds since the epoch, not " : "-n: a counter, not ", arg);
			if (opt[1] == 't')
				o->time = v, o->gottime = true;
			else
				o->counter = v, o->hotp = true;
			break;
		case 'W':
			if (!number(arg, 100, &v))
				return says("-W: a number of steps from 0 to 100, not ", arg);
			o->window = v, o->gotwindow = true;
			break;
		case 'c':
			o->code = arg;
			break;
		default:
			if (j->nfiles + j->nvars == 1)
				return "one key: -K FILE or -k NAME";
			if (opt[1] == 'K')
				j->keyfiles[j->nfiles++] = arg;
			else
				j->keyvars[j->nvars++] = arg;
		}
		i++;
	}
	if (i != argc || j->nfiles + j->nvars != 1)
		return otpusage;
	if (o->gottime && o->hotp)
		return "-t and -n: TOTP at a time, or HOTP at a counter";
	if (o->gotwindow && o->code == nullptr)
		return "-W goes with -c";
	return nullptr;
}

// The secret's bytes from its base32 into key; null, or why not.
static const char *secret(const char *s, size_t n, bytes *key)
{
	size_t len;
	if (!more(key, n))
		return "cannot allocate memory for the secret";
	const char *bad = base32in(s, n, key->p, &len);
	if (bad != nullptr)
		return says("a secret that is not base32: ", bad, " at offset ", decimal(len));
	key->n = len;
	return len == 0 ? "an empty secret" : nullptr;
}

// An otpauth:// URI's type and parameters (Google's Key Uri Format):
// secret, and algorithm, digits, period and counter where the command
// line gives none; each once, its value percent-decoded.
static const char *uri(const char *s, size_t n, otpjob *o, bytes *key)
{
	url u;
	urlinit(&u);
	report r = {};
	const char *why = nullptr;
	bool hotp = false, counted = false, keyed = false;
	char *copy = nullptr;
	if (!parseurl(s, n, nullptr, &u, &r) || r.error != nullptr || !same(text(&u.scheme), "otpauth")) {
		why = "an otpauth URI that is not a URL, or not one that parsers read alike";
	} else if (same(text(&u.host), "hotp") || same(text(&u.host), "totp")) {
		hotp = text(&u.host)[0] == 'h';
		const char *q = text(&u.query);
		copy = static_cast<char *>(malloc(2 * strlen(q) + 1));
		const char *k, *v, *seen[5] = {};
		static const char *const names[5] = {"secret", "algorithm", "digits", "period", "counter"};
		while (why == nullptr && copy != nullptr && nextfield(&q, copy, false, false, &k, &v, strictpct)) {
			int which = 0;
			while (which < 5 && !same(names[which], k))
				which++;
			if (which == 5)
				continue;	// issuer, image and the like
			if (seen[which] != nullptr) {
				why = says("an otpauth URI that gives ", names[which], " twice");
				break;
			}
			seen[which] = v;
			unsigned long long num;
			switch (which) {
			case 0:
				why = secret(v, strlen(v), key);
				keyed = why == nullptr;
				break;
			case 1: {
				char low[8];
				size_t len = strlen(v);
				for (size_t i = 0; i < len && i + 1 < sizeof low; i++)
					low[i] = v[i] >= 'A' && v[i] <= 'Z' ? static_cast<char>(v[i] + 32) : v[i];
				low[len < sizeof low ? len : sizeof low - 1] = '\0';
				hashalg a;
				if (len >= sizeof low || algorithm(low, &a) != nullptr)
					why = "an otpauth URI whose algorithm is none of SHA1, SHA256 and SHA512";
				else if (!o->gotalg)
					o->alg = a;
				break;
			}
			case 2:
				if (!number(v, 8, &num) || num < 6)
					why = "an otpauth URI whose digits are not 6 to 8";
				else if (!o->gotdigits)
					o->digits = static_cast<int>(num);
				break;
			case 3:
				if (!number(v, 1ULL << 32, &num) || num == 0)
					why = "an otpauth URI whose period is not a number of seconds";
				else if (!o->gotperiod)
					o->period = num;
				break;
			default:
				if (!number(v, 1ULL << 53, &num))
					why = "an otpauth URI whose counter is not a number";
				else if (!o->hotp)
					o->counter = num;
				counted = true;
			}
		}
		if (copy == nullptr)
			why = "cannot allocate memory for the URI";
		if (why == nullptr && !keyed)
			why = "an otpauth URI with no secret";
		if (why == nullptr && hotp && !counted && !o->hotp)
			why = "an otpauth URI of type hotp with no counter, and no -n";
		if (why == nullptr && !o->gottime)
			o->hotp = o->hotp || hotp;
	} else {
		why = "an otpauth URI whose type is neither totp nor hotp";
	}
	if (copy != nullptr) {
		wipe(copy, 2 * strlen(text(&u.query)) + 1);
		free(copy);
	}
	// The URI's query held the secret: wiped before it is given back.
	if (u.query.p != nullptr)
		wipe(u.query.p, u.query.cap);
	urlfree(&u);
	return why;
}

char *otprun(int argc, char *const argv[], keyvarfn *var, size_t *len, const char **why)
{
	job j = {};
	otpjob o;
	*len = 0;
	if ((*why = otpoptions(argc, argv, &o, &j)) != nullptr) {
		badline = true;
		return nullptr;
	}
	badline = false;
	bytes raw[keysmost] = {}, key = {};
	char *out = nullptr;
	if ((*why = loadkeys(&j, var, raw)) == nullptr) {
		const char *s = reinterpret_cast<const char *>(raw[0].p);
		if (raw[0].n > 10 && memcmp(s, "otpauth://", 10) == 0)
			*why = uri(s, raw[0].n, &o, &key);
		else
			*why = secret(s, raw[0].n, &key);
		if (*why != nullptr) {
			// The reason may be in says()'s own buffer: copied out first.
			char detail[128];
			size_t n = 0;
			for (; (*why)[n] != '\0' && n + 1 < sizeof detail; n++)
				detail[n] = (*why)[n];
			detail[n] = '\0';
			*why = says(j.nfiles > 0 ? "-K " : "-k ", j.nfiles > 0 ? j.keyfiles[0] : j.keyvars[0], ": ", detail);
		}
	}
	if (*why == nullptr) {
		unsigned long long now = o.gottime ? o.time : static_cast<unsigned long long>(::time(nullptr));
		unsigned long long step = o.hotp ? o.counter : quotient(now, o.period);
		char code[12];
		if (o.code == nullptr) {
			unsigned long v = hotp(o.alg, key.p, key.n, step, o.digits);
			for (int d = o.digits - 1; d >= 0; d--, v /= 10)
				code[d] = static_cast<char>('0' + v % 10);
			if ((out = result(code, static_cast<size_t>(o.digits), len)) == nullptr)
				*why = "cannot allocate the result";
		} else {
			// Every step of the window is computed and compared, in
			// constant time, whichever matches: a TOTP's steps each way,
			// as clocks drift; an HOTP's ahead alone, as a counter behind
			// is a code already used.
			size_t given = strlen(o.code);
			bool match = false;
			unsigned long long first = o.hotp ? step : step >= o.window ? step - o.window : 0;
			for (unsigned long long s2 = first; s2 <= step + o.window; s2++) {
				unsigned long v = hotp(o.alg, key.p, key.n, s2, o.digits);
				for (int d = o.digits - 1; d >= 0; d--, v /= 10)
					code[d] = static_cast<char>('0' + v % 10);
				match |= sameconst(code, static_cast<size_t>(o.digits), o.code, given);
			}
			out = match ? result("", 0, len) : nullptr;
			if (match && out == nullptr)
				*why = "cannot allocate the result";
		}
		wipe(code, sizeof code);
	}
	drop(&raw[0]);
	drop(&key);
	return out;
}
