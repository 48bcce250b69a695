// A token's three parts: the header, read for its algorithm, which must
// be the caller's; the signature, over the first two parts' text as they
// stand; the claims, read only once the signature holds.
#include <cstdio>
#include <cstring>

#include "jwt.h"
#include "words.h"

static char msg[256];

bool jwtalg(const char *name, hashalg *a)
{
	static const char *const names[] = {"HS256", "HS384", "HS512"};
	static const hashalg algs[] = {alg_sha256, alg_sha384, alg_sha512};
	for (int i = 0; i < 3; i++)
		if (strcmp(name, names[i]) == 0) {
			*a = algs[i];
			return true;
		}
	return false;
}

bool jwtpublic(const char *name, sigalg *a)
{
	if (strcmp(name, "EdDSA") == 0)
		*a = sig_ed25519;
	else if (strcmp(name, "ES256") == 0)
		*a = sig_p256;
	else
		return false;
	return true;
}

// RFC 7518 asks for a key as long as the hash at least.
static const char *shortkey(hashalg a)
{
	snprintf(msg, sizeof msg, "a key shorter than %zu bytes, the hash's length, which RFC 7518 forbids", hashsize(a));
	return msg;
}

static bool append(void *arg, const char *s, size_t n)
{
	jsonadd(static_cast<jsonbuf *>(arg), s, n);
	return !static_cast<jsonbuf *>(arg)->bad;
}

// A JSON object, read strictly, as its compact text into out; then its
// values, flat, into flat. Null, or what is wrong.
static const char *object(const char *what, const char *s, size_t n, jsonbuf *out, jsonflat *flat)
{
	static json j;
	jsonmem(&j, s, n, false);
	const char *why = jsonget(&j, "", 0, append, out);
	if (why == nullptr && (out->n == 0 || out->p[0] != '{'))
		why = "not a JSON object";
	if (why == nullptr) {
		jsonagain(&j);
		jsonmem(&j, out->p, out->n, false);
		why = jsonall(&j, flat, 100000, 8 << 20);
	}
	if (why != nullptr) {
		// jwtoken's limits are fixed: no option raises them.
		const char *raise = findstr(why, "; -");
		int len = raise != nullptr && findstr(raise, " raises the limit") != nullptr ? static_cast<int>(raise - why) :
											    static_cast<int>(strlen(why));
		snprintf(msg, sizeof msg, "%s: %.*s", what, len, why);
		why = msg;
	}
	jsonend(&j);
	return why;
}

// The member of the top object named name, or null.
static const jsonentry *member(const jsonflat *f, const char *name)
{
	for (size_t i = 0; i < f->n; i++)
		if (strcmp(f->bytes.p + f->v[i].ptr, name) == 0)
			return &f->v[i];
	return nullptr;
}

// A NumericDate as a JSON number writes one: an integer, with a fraction
// or not, in seconds; its whole seconds in *t and whether a fraction
// follows. False for an exponent, a sign or more than 15 digits.
static bool numericdate(const jsonflat *f, const jsonentry *e, long long *t, bool *frac)
{
	if (e->type != jsonnumber)
		return false;
	const char *s = f->bytes.p + e->value;
	size_t whole = strspn(s, "0123456789");
	if (whole == 0 || whole > 15 || (s[whole] != '\0' && (s[whole] != '.' || s[whole + 1 + strspn(s + whole + 1, "0123456789")] != '\0')))
		return false;
	*t = 0;
	for (size_t i = 0; i < whole; i++)
		*t = *t * 10 + (s[i] - '0');
	*frac = s[whole] == '.' && strspn(s + whole + 1, "0") != strlen(s + whole + 1);
	return true;
}

// Whether exp, nbf and iat, where the claims have them, are NumericDates;
// null, or what is wrong. A token is signed only where it would be read.
static const char *dates(const jsonflat *f)
{
	long long t;
	bool frac;
	static const char *const names[] = {"/exp", "/nbf", "/iat"};
	for (const char *name : names) {
		const jsonentry *e = member(f, name);
		if (e != nullptr && !numericdate(f, e, &t, &frac)) {
			snprintf(msg, sizeof msg, "%s is not a date in seconds, digits with or without a fraction", name + 1);
			return msg;
		}
	}
	return nullptr;
}

static const char *part(const char *what, const char *s, size_t n, jsonbuf *out)
{
	char *to = jsongrow(out, n);
	size_t len;
	if (to == nullptr)
		return "cannot allocate memory for the token";
	const char *bad = basein(base_64url, pad_never, s, n, reinterpret_cast<unsigned char *>(to), &len);
	if (bad != nullptr) {
		snprintf(msg, sizeof msg, "the %s is not base64url without padding: %s at offset %zu", what, bad, len);
		return msg;
	}
	out->n = len;
	return nullptr;
}

// Whether the claims hold what want asks for; null, or what is wrong.
static const char *wanted(const jsonflat *f, const jwtwant *want)
{
	const jsonentry *e;
	if (want->issuer != nullptr &&
	    ((e = member(f, "/iss")) == nullptr || e->type != jsonstring || strcmp(f->bytes.p + e->value, want->issuer) != 0))
		return "the token is not from the issuer asked for (iss)";
	if (want->audience != nullptr) {
		// A string, or an array of them, one of which is the audience.
		bool found = false;
		for (size_t i = 0; i < f->n && !found; i++) {
			const char *p = f->bytes.p + f->v[i].ptr;
			bool at = strcmp(p, "/aud") == 0 ||
				  (strncmp(p, "/aud/", 5) == 0 && p[5] != '\0' && strspn(p + 5, "0123456789") == strlen(p + 5));
			found = at && f->v[i].type == jsonstring && strcmp(f->bytes.p + f->v[i].value, want->audience) == 0;
		}
		if (!found)
			return "the token is not for the audience asked for (aud)";
	}
	for (const char *r = want->required; r != nullptr && *r != '\0';) {
		size_t len = strcspn(r, ",");
		// The name as a pointer: / before it, ~ and / within it escaped.
		char ptr[260];
		size_t n = 0;
		ptr[n++] = '/';
		for (size_t i = 0; i < len && n + 2 < sizeof ptr; i++) {
			if (r[i] == '~' || r[i] == '/')
				ptr[n++] = '~', ptr[n++] = r[i] == '~' ? '0' : '1';
			else
				ptr[n++] = r[i];
		}
		ptr[n] = '\0';
		bool has = false;
		for (size_t i = 0; i < f->n && !has; i++) {
			const char *p = f->bytes.p + f->v[i].ptr;
			has = strncmp(p, ptr, n) == 0 && (p[n] == '\0' || p[n] == '/');
		}
		if (!has) {
			snprintf(msg, sizeof msg, "the token has no %.*s claim, which -R requires", static_cast<int>(len < 200 ? len : 200), r);
			return msg;
		}
		r += len + (r[len] == ',' ? 1 : 0);
	}
	return nullptr;
}

const char *jwtverify(const char *token, const char *alg, const jwtkey *keys, int nkeys, long long leeway,
		      long long now, jsonbuf *claims, const jwtwant *want)
{
	hashalg a = alg_sha256;
	sigalg pub = sig_ed25519;
	bool mac = jwtalg(alg, &a);
	if (!mac && !jwtpublic(alg, &pub))
		return "an algorithm of HS256, HS384, HS512, EdDSA and ES256";
	for (int k = 0; mac && k < nkeys; k++)
		if (keys[k].n < hashsize(a))
			return shortkey(a);
	const char *dot1 = strchr(token, '.'), *dot2 = dot1 != nullptr ? strchr(dot1 + 1, '.') : nullptr;
	if (dot2 == nullptr || strchr(dot2 + 1, '.') != nullptr)
		return "not a token: three parts separated by dots";
	jsonbuf head = {}, body = {}, sig = {}, text = {};
	jsonflat hf = {}, cf = {};
	const char *why = part("header", token, static_cast<size_t>(dot1 - token), &head);
	if (why == nullptr)
		why = part("claims part", dot1 + 1, static_cast<size_t>(dot2 - dot1 - 1), &body);
	if (why == nullptr)
		why = part("signature", dot2 + 1, strlen(dot2 + 1), &sig);
	if (why == nullptr)
		why = object("the header", head.p, head.n, &text, &hf);
	const jsonentry *e = why == nullptr ? member(&hf, "/alg") : nullptr;
	if (why == nullptr && (e == nullptr || e->type != jsonstring))
		why = "the header has no alg";
	else if (why == nullptr && strcmp(hf.bytes.p + e->value, alg) != 0) {
		snprintf(msg, sizeof msg, "the header's alg is not %s", alg);
		why = msg;
	} else if (why == nullptr && member(&hf, "/crit") != nullptr) {
		why = "the header's crit names extensions that this reader does not know";
	}
	if (why == nullptr) {
		// The signature over the parts as they stand, by any key: a MAC,
		// or a public key's signature, ES256's r and s side by side.
		bool good = false;
		size_t size = hashsize(a);
		for (int k = 0; !mac && why == nullptr && k < nkeys; k++) {
			bool holds = false;
			why = sigcheck(pub, keys[k].p, keys[k].n, reinterpret_cast<const unsigned char *>(sig.p != nullptr ? sig.p : ""),
				       sig.n, true, token, static_cast<size_t>(dot2 - token), &holds);
			good |= holds;
		}
		for (int k = 0; mac && k < nkeys; k++) {
			hmac m;
			unsigned char tag[hashmost];
			hmacstart(&m, a, keys[k].p, keys[k].n);
			hmacadd(&m, token, static_cast<size_t>(dot2 - token));
			hmacend(&m, tag);
			good |= sameconst(tag, size, sig.p != nullptr ? sig.p : "", sig.n);
			wipe(tag, sizeof tag);
		}
		if (why == nullptr && !good)
			why = "the signature is wrong";
	}
	if (why == nullptr)
		why = object("the claims", body.p, body.n, claims, &cf);
	if (why == nullptr)
		why = dates(&cf);
	long long t;
	bool frac;
	if (why == nullptr && (e = member(&cf, "/exp")) != nullptr && numericdate(&cf, e, &t, &frac) &&
	    (frac ? t + 1 : t) <= now - leeway)
		why = "the token has expired (exp)";
	if (why == nullptr && (e = member(&cf, "/nbf")) != nullptr && numericdate(&cf, e, &t, &frac) &&
	    (frac ? t >= now + leeway : t > now + leeway))
		why = "the token is not valid yet (nbf)";
	if (why == nullptr && (e = member(&cf, "/iat")) != nullptr && numericdate(&cf, e, &t, &frac) && t > now + leeway)
		why = "the token was issued in the future (iat)";
	if (why == nullptr && want != nullptr)
		why = wanted(&cf, want);
	if (why != nullptr)
		claims->n = 0;
	jsonfree(&head);
	jsonfree(&body);
	jsonfree(&sig);
	jsonfree(&text);
	jsonflatfree(&hf);
	jsonflatfree(&cf);
	return why;
}

const char *jwtsign(const char *json, size_t n, const char *alg, const jwtkey *key, jsonbuf *token)
{
	hashalg a;
	if (!jwtalg(alg, &a))
		return "an algorithm of HS256, HS384 and HS512";
	if (key->n < hashsize(a))
		return shortkey(a);
	jsonbuf text = {};
	jsonflat flat = {};
	const char *why = object("the claims", json, n, &text, &flat);
	if (why == nullptr)
		why = dates(&flat);
	jsonflatfree(&flat);
	if (why != nullptr) {
		jsonfree(&text);
		return why;
	}
	char header[64];
	int hn = snprintf(header, sizeof header, "{\"alg\":\"%s\",\"typ\":\"JWT\"}", alg);
	char *at = jsongrow(token, baselen(base_64url, static_cast<size_t>(hn), false) +
				   baselen(base_64url, text.n, false) + baselen(base_64url, hashmost, false) + 2);
	if (at == nullptr) {
		jsonfree(&text);
		return "cannot allocate memory for the token";
	}
	size_t len = baseout(base_64url, at, header, static_cast<size_t>(hn), false);
	at[len++] = '.';
	len += baseout(base_64url, at + len, text.p, text.n, false);
	hmac m;
	unsigned char mac[hashmost];
	hmacstart(&m, a, key->p, key->n);
	hmacadd(&m, at, len);
	hmacend(&m, mac);
	at[len++] = '.';
	len += baseout(base_64url, at + len, mac, hashsize(a), false);
	token->n += len;
	wipe(mac, sizeof mac);
	jsonfree(&text);
	return nullptr;
}
