// Each sender's scheme, as its own documentation and libraries compute
// it. A header that the sender never writes (upper-case hex, a missing
// prefix, a timestamp with a sign or a fraction) is malformed, not a
// near miss: it is refused before any MAC is computed.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hook.h"
#include "text.h"
#include "urlcode.h"

const char hookschemes[] = "github, stripe, slack, shopify, standard, twilio, gitlab, twitch, discord, telnyx and sendgrid";

bool hooknamed(const char *name, hookscheme *s)
{
	static const char *const names[] = {"github", "stripe", "slack",  "shopify", "standard", "twilio",
					    "gitlab", "twitch", "discord", "telnyx",  "sendgrid"};
	for (int i = 0; i < 11; i++)
		if (strcmp(name, names[i]) == 0) {
			*s = static_cast<hookscheme>(i);
			return true;
		}
	return false;
}

bool hooktimed(hookscheme s)
{
	return s != hook_github && s != hook_shopify && s != hook_twilio && s != hook_gitlab;
}

static hookstatus fail(hookcheck *c, hookstatus st, const char *what, const char *detail = "")
{
	static const char *const kinds[] = {"", "signature missing", "signature malformed", "signature wrong",
					    "timestamp stale", "key malformed"};
	snprintf(c->msg, sizeof c->msg, "%s: %s%s", kinds[st], what, detail);
	return c->status = st;
}

// A signature in lower-case hex, as every sender writes it, of size bytes.
static bool lowhex(hookcheck *c, const char *s, size_t n, size_t size)
{
	size_t len;
	if (n != 2 * size || strspn(s, "0123456789abcdef") < n ||
	    basein(base_hex, pad_never, s, n, c->sigs[c->nsigs], &len) != nullptr)
		return false;
	c->nsigs++;
	return true;
}

static bool padded64(hookcheck *c, const char *s, size_t n, size_t size)
{
	size_t len;
	if (n != baselen(base_64, size, true) ||
	    basein(base_64, pad_must, s, n, c->sigs[c->nsigs], &len) != nullptr || len != size)
		return false;
	c->nsigs++;
	return true;
}

// n digits at s, or -1.
static long long digitsat(const char *s, size_t n)
{
	long long v = 0;
	for (size_t i = 0; i < n; i++) {
		if (s[i] < '0' || s[i] > '9')
			return -1;
		v = v * 10 + (s[i] - '0');
	}
	return v;
}

// RFC 3339's date-time, as Twitch writes it ("2019-11-16T10:11:12.634234626Z"):
// the seconds since the epoch, or -1 where it is not one. The fraction
// counts for nothing against a tolerance of seconds.
static long long rfc3339(const char *s, size_t n)
{
	if (n < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':')
		return -1;
	long long y = digitsat(s, 4), mo = digitsat(s + 5, 2), d = digitsat(s + 8, 2), h = digitsat(s + 11, 2),
		  mi = digitsat(s + 14, 2), sec = digitsat(s + 17, 2);
	// Four digits and two each: 32 bits, whose remainders need no routine
	// of libgcc's.
	if (y < 0 || mo < 0 || d < 0 || !civildate(static_cast<long>(y), static_cast<long>(mo), static_cast<long>(d)) ||
	    h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 60)
		return -1;
	size_t i = 19;
	if (i < n && s[i] == '.') {
		size_t f = ++i;
		while (i < n && s[i] >= '0' && s[i] <= '9')
			i++;
		if (i == f)
			return -1;
	}
	long long off = 0;
	if (i + 1 == n && s[i] == 'Z') {
		off = 0;
	} else if (i + 6 == n && (s[i] == '+' || s[i] == '-') && s[i + 3] == ':') {
		long long oh = digitsat(s + i + 1, 2), om = digitsat(s + i + 4, 2);
		if (oh < 0 || oh > 23 || om < 0 || om > 59)
			return -1;
		off = (s[i] == '+' ? 1 : -1) * (oh * 3600 + om * 60);
	} else {
		return -1;
	}
	return daysfrom(static_cast<long>(y), static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
	       mi * 60 + sec - off;
}

// A timestamp: decimal digits alone (or with iso, RFC 3339's), never
// evaluated, within tolerance.
static hookstatus timely(hookcheck *c, const char *ts, size_t n, long long tolerance, long long now, bool iso = false)
{
	long long t = 0;
	if (iso) {
		if ((t = rfc3339(ts, n)) < 0)
			return fail(c, hook_malformed, "a timestamp that is not RFC 3339's date-time");
	} else {
		if (n == 0 || n > 15 || strspn(ts, "0123456789") < n)
			return fail(c, hook_malformed, "a timestamp that is not decimal digits");
		t = digitsat(ts, n);
	}
	if (t < now - tolerance || t > now + tolerance) {
		char detail[80];
		snprintf(detail, sizeof detail, "%lld seconds in the %s, past the %lld allowed", t < now ? now - t : t - now,
			 t < now ? "past" : "future", tolerance);
		return fail(c, hook_stale, "", detail);
	}
	return hook_ok;
}

// What is signed, to each MAC, and kept whole where a public key signs it.
static void feed(hookcheck *c, const void *p, size_t n)
{
	for (int i = 0; i < c->nmacs; i++)
		hmacadd(&c->macs[i], p, n);
	if (!c->keep || c->textbad || n == 0)
		return;
	if (c->textn + n > c->textcap) {
		size_t cap = c->textcap == 0 ? 4096 : c->textcap;
		while (cap < c->textn + n)
			cap *= 2;
		unsigned char *t = static_cast<unsigned char *>(malloc(cap));
		if (t == nullptr) {
			c->textbad = true;
			return;
		}
		if (c->textn > 0)
			memcpy(t, c->text, c->textn);
		if (c->text != nullptr) {
			wipe(c->text, c->textcap);
			free(c->text);
		}
		c->text = t, c->textcap = cap;
	}
	memcpy(c->text + c->textn, p, n);
	c->textn += n;
}

void hookfree(hookcheck *c)
{
	if (c->text != nullptr) {
		wipe(c->text, c->textcap);
		free(c->text);
	}
	wipe(c, sizeof *c);
}

static void seenas(hookcheck *c, hookscheme s, const char *a, size_t an, const char *b, size_t bn)
{
	hash h;
	hashstart(&h, alg_sha256);
	unsigned char tag[2] = {static_cast<unsigned char>(s), 0};
	hashadd(&h, tag, 2);
	hashadd(&h, a, an);
	if (b != nullptr) {
		hashadd(&h, "", 1);
		hashadd(&h, b, bn);
	}
	hashend(&h, c->seen);
	c->seenset = true;
}

// A signature of a public key's, in the form that the scheme writes.
static bool asig(hookcheck *c, basekind form, const char *s, size_t n, sigalg alg, size_t size)
{
	size_t len;
	if (c->nasigs == hooksigs || n > 2 * sizeof c->asigs[0] ||
	    (form == base_hex && strspn(s, "0123456789abcdef") < n) ||
	    basein(form, form == base_64 ? pad_must : pad_never, s, n, c->asigs[c->nasigs], &len) != nullptr ||
	    (size != 0 && len != size) || len > sizeof c->asigs[0])
		return false;
	c->asiglen[c->nasigs] = len;
	c->asigalg[c->nasigs++] = alg;
	return true;
}

// A public key, written as its scheme writes it, into c's keys; null, or
// what is wrong with it.
static const char *pubkey(hookcheck *c, basekind form, const unsigned char *key, size_t n, sigalg alg)
{
	hookpub *p = &c->pubs[c->npubs];
	size_t len;
	if (n > 2 * sizeof p->key ||
	    basein(form, form == base_64 ? pad_must : pad_never, reinterpret_cast<const char *>(key), n, p->key, &len) != nullptr ||
	    len > sizeof p->key || !sigkey(alg, p->key, len))
		return alg == sig_ed25519 ? "not an Ed25519 public key of 32 bytes in the scheme's encoding" :
					    "not a P-256 public key (SubjectPublicKeyInfo, in base64)";
	p->n = len, p->alg = alg;
	c->npubs++;
	return nullptr;
}

// Twilio's validators take a URL with its scheme's default port and one
// without as the same: the other of the two, where url has a default
// port or none.
static bool otherurl(const char *url, char *out, size_t size)
{
	bool https = strncmp(url, "https://", 8) == 0;
	if (!https && strncmp(url, "http://", 7) != 0)
		return false;
	const char *host = url + (https ? 8 : 7), *end = host + strcspn(host, "/?#");
	const char *at = static_cast<const char *>(memchr(host, '@', static_cast<size_t>(end - host)));
	const char *h = at != nullptr ? at + 1 : host, *colon = nullptr;
	for (const char *p = h; p < end; p++)
		if (*p == ':')
			colon = p;
	const char *bracket = static_cast<const char *>(memchr(h, ']', static_cast<size_t>(end - h)));
	if (*h == '[' && colon != nullptr && (bracket == nullptr || colon < bracket))
		colon = nullptr;	// a colon inside an IPv6 address
	const char *port = https ? "443" : "80";
	int n;
	if (colon == nullptr)
		n = snprintf(out, size, "%.*s:%s%s", static_cast<int>(end - url), url, port, end);
	else if (static_cast<size_t>(end - colon - 1) == strlen(port) && strncmp(colon + 1, port, strlen(port)) == 0)
		n = snprintf(out, size, "%.*s%s", static_cast<int>(colon - url), url, end);
	else
		return false;
	return n > 0 && static_cast<size_t>(n) < size;
}

hookstatus hookstart(hookcheck *c, hookscheme s, headerfn *header, void *arg, const hookkey *keys, int nkeys,
		     long long tolerance, long long now, const char *url)
{
	memset(c, 0, sizeof *c);
	c->scheme = s;
	static const char *const names[] = {"HTTP_X_HUB_SIGNATURE_256", "HTTP_STRIPE_SIGNATURE", "HTTP_X_SLACK_SIGNATURE",
					    "HTTP_X_SHOPIFY_HMAC_SHA256", "HTTP_WEBHOOK_SIGNATURE", "HTTP_X_TWILIO_SIGNATURE",
					    "HTTP_X_GITLAB_TOKEN", "HTTP_TWITCH_EVENTSUB_MESSAGE_SIGNATURE",
					    "HTTP_X_SIGNATURE_ED25519", "HTTP_TELNYX_SIGNATURE_ED25519",
					    "HTTP_X_TWILIO_EMAIL_EVENT_WEBHOOK_SIGNATURE"};
	const char *sig = header(arg, names[s]);
	if (sig == nullptr)
		return fail(c, hook_missing, "no ", names[s]);
	if (nkeys < 1 || nkeys > hookkeys)
		return fail(c, hook_badkey, nkeys < 1 ? "no key" : "more than 8 keys");
	// An empty key is one that anyone has.
	for (int k = 0; k < nkeys; k++)
		if (keys[k].n == 0)
			return fail(c, hook_badkey, "an empty key");
	size_t n = strlen(sig);
	const char *ts = nullptr, *id = nullptr;
	size_t tslen = 0;
	hashalg alg = s == hook_twilio ? alg_sha1 : alg_sha256;
	c->siglen = hashsize(alg);

	switch (s) {
	case hook_gitlab: {
		// The token is the secret itself: compared, not computed; the
		// event's UUID tells one delivery from another.
		const char *uuid = header(arg, "HTTP_X_GITLAB_EVENT_UUID");
		if (uuid != nullptr)
			seenas(c, s, uuid, strlen(uuid), nullptr, 0);
		bool same = false;
		for (int k = 0; k < nkeys; k++)
			same |= sameconst(sig, n, keys[k].p, keys[k].n);
		return same ? hook_ok : fail(c, hook_wrong, "X-Gitlab-Token is not the secret");
	}
	case hook_github:
	case hook_twitch:
	case hook_slack: {
		const char *prefix = s == hook_slack ? "v0=" : "sha256=";
		if (strncmp(sig, prefix, strlen(prefix)) != 0 || !lowhex(c, sig + strlen(prefix), n - strlen(prefix), c->siglen))
			return fail(c, hook_malformed, names[s], s == hook_slack ? " is not v0= and 64 lower-case hex digits" :
										  " is not sha256= and 64 lower-case hex digits");
		if (s == hook_twitch) {
			if ((id = header(arg, "HTTP_TWITCH_EVENTSUB_MESSAGE_ID")) == nullptr)
				return fail(c, hook_missing, "no HTTP_TWITCH_EVENTSUB_MESSAGE_ID");
			if ((ts = header(arg, "HTTP_TWITCH_EVENTSUB_MESSAGE_TIMESTAMP")) == nullptr)
				return fail(c, hook_missing, "no HTTP_TWITCH_EVENTSUB_MESSAGE_TIMESTAMP");
			tslen = strlen(ts);
		}
		if (s == hook_slack) {
			if ((ts = header(arg, "HTTP_X_SLACK_REQUEST_TIMESTAMP")) == nullptr)
				return fail(c, hook_missing, "no HTTP_X_SLACK_REQUEST_TIMESTAMP");
			tslen = strlen(ts);
		}
		break;
	}
	case hook_stripe:
		// t=TS,v1=HEX,v1=HEX,v0=...: one t, any number of v1, the rest
		// of other schemes, skipped.
		for (const char *p = sig; *p != '\0';) {
			size_t len = strcspn(p, ",");
			if (len > 2 && strncmp(p, "t=", 2) == 0) {
				if (ts != nullptr)
					return fail(c, hook_malformed, "Stripe-Signature has two timestamps");
				ts = p + 2, tslen = len - 2;
			} else if (len > 3 && strncmp(p, "v1=", 3) == 0) {
				if (c->nsigs == hooksigs)
					return fail(c, hook_malformed, "more than 8 signatures");
				if (!lowhex(c, p + 3, len - 3, c->siglen))
					return fail(c, hook_malformed, "a v1 signature that is not 64 lower-case hex digits");
			} else if (len == 0 || memchr(p, '=', len) == nullptr) {
				return fail(c, hook_malformed, "Stripe-Signature is not a list of t= and v1=");
			}
			p += len + (p[len] == ',' ? 1 : 0);
		}
		if (ts == nullptr)
			return fail(c, hook_malformed, "Stripe-Signature has no t= timestamp");
		if (c->nsigs == 0)
			return fail(c, hook_missing, "Stripe-Signature has no v1 signature");
		break;
	case hook_discord:
	case hook_telnyx:
	case hook_sendgrid: {
		bool ok = s == hook_discord ? asig(c, base_hex, sig, n, sig_ed25519, 64) :
			  s == hook_telnyx ? asig(c, base_64, sig, n, sig_ed25519, 64) : asig(c, base_64, sig, n, sig_p256, 0);
		if (!ok)
			return fail(c, hook_malformed, names[s], s == hook_discord ? " is not 128 lower-case hex digits" :
								  s == hook_telnyx ? " is not the base64 of 64 bytes" :
										     " is not the base64 of a DER signature");
		const char *tsname = s == hook_discord ? "HTTP_X_SIGNATURE_TIMESTAMP" :
				     s == hook_telnyx ? "HTTP_TELNYX_TIMESTAMP" : "HTTP_X_TWILIO_EMAIL_EVENT_WEBHOOK_TIMESTAMP";
		if ((ts = header(arg, tsname)) == nullptr)
			return fail(c, hook_missing, "no ", tsname);
		tslen = strlen(ts);
		break;
	}
	case hook_shopify:
	case hook_twilio:
		if (!padded64(c, sig, n, c->siglen))
			return fail(c, hook_malformed, names[s], s == hook_shopify ? " is not the base64 of 32 bytes" :
										    " is not the base64 of 20 bytes");
		break;
	case hook_standard:
		// "v1,SIG v1,SIG v2,...": entries of other versions skipped.
		for (const char *p = sig; *p != '\0';) {
			size_t len = strcspn(p, " ");
			const char *comma = static_cast<const char *>(memchr(p, ',', len));
			if (len == 0 || comma == nullptr)
				return fail(c, hook_malformed, "webhook-signature is not a list of VERSION,SIGNATURE");
			if (comma - p == 2 && strncmp(p, "v1", 2) == 0 && c->nsigs == hooksigs)
				return fail(c, hook_malformed, "more than 8 signatures");
			if (comma - p == 2 && strncmp(p, "v1", 2) == 0 &&
			    !padded64(c, comma + 1, len - 3, c->siglen))
				return fail(c, hook_malformed, "a v1 signature that is not the base64 of 32 bytes");
			// v1a: Ed25519, the asymmetric kind.
			if (comma - p == 3 && strncmp(p, "v1a", 3) == 0 &&
			    !asig(c, base_64, comma + 1, len - 4, sig_ed25519, 64))
				return fail(c, hook_malformed, "a v1a signature that is not the base64 of 64 bytes, or a ninth");
			p += len + (p[len] == ' ' ? 1 : 0);
		}
		if (c->nsigs + c->nasigs == 0)
			return fail(c, hook_missing, "webhook-signature has no v1 or v1a signature");
		if ((id = header(arg, "HTTP_WEBHOOK_ID")) == nullptr)
			return fail(c, hook_missing, "no HTTP_WEBHOOK_ID");
		if ((ts = header(arg, "HTTP_WEBHOOK_TIMESTAMP")) == nullptr)
			return fail(c, hook_missing, "no HTTP_WEBHOOK_TIMESTAMP");
		tslen = strlen(ts);
		break;
	}
	if (ts != nullptr && timely(c, ts, tslen, tolerance, now, s == hook_twitch) != hook_ok)
		return c->status;
	// A delivery's own id where the sender signs one; Discord's and
	// Telnyx's timestamp with the signature; else the signature itself,
	// as the same bytes sent again are the replay.
	if (s == hook_standard || s == hook_twitch)
		seenas(c, s, id, strlen(id), nullptr, 0);
	else if (s == hook_discord || s == hook_telnyx)
		seenas(c, s, ts, tslen, sig, n);
	else
		seenas(c, s, sig, n, nullptr, 0);

	if (s == hook_twilio) {
		if (url == nullptr || *url == '\0')
			return fail(c, hook_badkey, "twilio needs the URL that the sender requested (-u)");
		static char other[4096];
		c->twourls = otherurl(url, other, sizeof other);
		const char *q = strchr(url, '?');
		for (; q != nullptr && *q != '\0' && *q != '#'; q += strcspn(q, "&#")) {
			q++;
			if (strncmp(q, "bodySHA256=", 11) == 0)
				c->sha = q + 11, c->shalen = strcspn(q + 11, "&#");
		}
		hashstart(&c->body, alg_sha256);
		for (int k = 0; k < nkeys; k++)
			for (int u = 0; u < (c->twourls ? 2 : 1); u++) {
				hmacstart(&c->macs[c->nmacs], alg, keys[k].p, keys[k].n);
				hmacadd(&c->macs[c->nmacs], u == 0 ? url : other, strlen(u == 0 ? url : other));
				c->nmacs++;
			}
		return hook_ok;
	}
	for (int k = 0; k < nkeys; k++) {
		const unsigned char *key = keys[k].p;
		size_t len = keys[k].n;
		unsigned char raw[512];
		// A public key: Standard Webhooks' whpk_ and base64, Discord's
		// hex, Telnyx's base64, SendGrid's SubjectPublicKeyInfo in base64.
		bool whpk = s == hook_standard && len >= 5 && memcmp(key, "whpk_", 5) == 0;
		if (whpk || s == hook_discord || s == hook_telnyx || s == hook_sendgrid) {
			if (whpk && len == 5)
				return fail(c, hook_badkey, "whpk_ and no key after it");
			const char *bad = pubkey(c, s == hook_discord ? base_hex : base_64, key + (whpk ? 5 : 0), len - (whpk ? 5 : 0),
						 s == hook_sendgrid ? sig_p256 : sig_ed25519);
			if (bad != nullptr)
				return fail(c, hook_badkey, bad);
			continue;
		}
		if (s == hook_standard) {
			// The key is the base64 after whsec_.
			if (len >= 6 && memcmp(key, "whsec_", 6) == 0)
				key += 6, len -= 6;
			size_t got;
			const char *bad = len > 640 ? "too long" :
				basein(base_64, pad_must, reinterpret_cast<const char *>(key), len, raw, &got);
			if (bad != nullptr)
				return fail(c, hook_badkey, "not whsec_ and base64: ", bad);
			if (got == 0)
				return fail(c, hook_badkey, "whsec_ and no key after it");
			key = raw, len = got;
		}
		hmacstart(&c->macs[c->nmacs++], alg, key, len);
		wipe(raw, sizeof raw);
	}
	// The library of the public keys, where there are some, opened now:
	// where it cannot be had, the request is not read for nothing.
	if (c->npubs > 0) {
		const char *why = sigready(c->pubs[0].alg);
		if (why != nullptr)
			return fail(c, hook_badkey, why);
		c->keep = c->nasigs > 0;
	}
	// What each scheme signs ahead of the body.
	if (s == hook_stripe) {
		feed(c, ts, tslen);
		feed(c, ".", 1);
	} else if (s == hook_slack) {
		feed(c, "v0:", 3);
		feed(c, ts, tslen);
		feed(c, ":", 1);
	} else if (s == hook_standard) {
		feed(c, id, strlen(id));
		feed(c, ".", 1);
		feed(c, ts, tslen);
		feed(c, ".", 1);
	} else if (s == hook_twitch) {
		feed(c, id, strlen(id));
		feed(c, ts, tslen);
	} else if (s == hook_discord || s == hook_telnyx || s == hook_sendgrid) {
		feed(c, ts, tslen);
		if (s == hook_telnyx)
			feed(c, "|", 1);
	}
	return hook_ok;
}

void hookadd(hookcheck *c, const void *p, size_t n)
{
	if (c->scheme == hook_twilio)
		hashadd(&c->body, p, n);
	else
		feed(c, p, n);
}

// The string z copied to at, its NUL too: where the next may go.
static char *copyz(char *at, const char *z)
{
	do
		*at++ = *z;
	while (*z++ != '\0');
	return at;
}

static int bybytes(const void *a, const void *b)
{
	const char *const *x = static_cast<const char *const *>(a), *const *y = static_cast<const char *const *>(b);
	int d = strcmp(x[0], y[0]);
	return d != 0 ? d : strcmp(x[1], y[1]);
}

// Twilio signs a form's fields sorted by name, and a name's values
// sorted, each name then its value, after the URL; false where the
// fields cannot be had.
static bool twiliofields(hookcheck *c, const char *form, size_t n)
{
	// Each field is decoded into work, and kept in store: decoded, a
	// field is no longer than it was, and gains two NULs at most.
	size_t count = 1;
	for (size_t i = 0; i < n; i++)
		count += form[i] == '&';
	char *work = static_cast<char *>(malloc(2 * n + 1)), *store = static_cast<char *>(malloc(n + 2 * count));
	char **pairs = static_cast<char **>(malloc(2 * count * sizeof *pairs));
	if (work == nullptr || store == nullptr || pairs == nullptr) {
		free(work);
		free(store);
		free(pairs);
		return false;
	}
	size_t m = 0;
	char *at = store;
	const char *q = form, *key, *value;
	while (m < count && nextfield(&q, work, false, false, &key, &value, strictpct)) {
		pairs[2 * m] = at, at = copyz(at, key);
		pairs[2 * m + 1] = at, at = copyz(at, value);
		m++;
	}
	qsort(pairs, m, 2 * sizeof *pairs, bybytes);
	for (size_t i = 0; i < m; i++) {
		feed(c, pairs[2 * i], strlen(pairs[2 * i]));
		feed(c, pairs[2 * i + 1], strlen(pairs[2 * i + 1]));
	}
	free(pairs);
	free(store);
	free(work);
	return true;
}

hookstatus hookend(hookcheck *c, const char *form, size_t n)
{
	hookstatus st = c->status;
	if (st == hook_ok && c->scheme == hook_gitlab)
		return hook_ok;
	if (st == hook_ok && c->scheme == hook_twilio) {
		unsigned char digest[hashmost];
		char hex[2 * hashmost + 1];
		hashend(&c->body, digest);
		baseout(base_hex, hex, digest, 32, false);
		if (form == nullptr && c->sha == nullptr)
			st = fail(c, hook_malformed, "a JSON body, and no bodySHA256 in the URL");
		else if (form == nullptr && !sameconst(c->sha, c->shalen, hex, 64))
			st = fail(c, hook_wrong, "the body's SHA-256 is not the URL's bodySHA256");
		else if (size_t at; form != nullptr && badescape(form, &at) != nullptr)
			st = fail(c, hook_wrong, "no key gives it over this body");	// no fields to sign
		else if (form != nullptr && !twiliofields(c, form, n))
			st = fail(c, hook_malformed, "cannot allocate memory for the fields");
	}
	bool good = false;
	for (int i = 0; i < c->nmacs; i++) {
		unsigned char mac[hashmost];
		hmacend(&c->macs[i], mac);
		for (int k = 0; k < c->nsigs; k++)
			good |= sameconst(mac, c->siglen, c->sigs[k], c->siglen);
		wipe(mac, sizeof mac);
	}
	// The public keys' signatures, each key over the entries of its kind.
	if (st == hook_ok && c->textbad)
		st = fail(c, hook_malformed, "cannot allocate memory for the body");
	for (int k = 0; st == hook_ok && k < c->npubs; k++)
		for (int i = 0; i < c->nasigs; i++) {
			bool holds = false;
			if (c->asigalg[i] == c->pubs[k].alg &&
			    sigcheck(c->pubs[k].alg, c->pubs[k].key, c->pubs[k].n, c->asigs[i], c->asiglen[i], false,
				     c->text != nullptr ? c->text : c->pubs[k].key, c->textn, &holds) == nullptr)
				good |= holds;
		}
	if (st == hook_ok && !good)
		st = fail(c, hook_wrong, "no key gives it over this body");
	char msg[sizeof c->msg];
	unsigned char seen[sizeof c->seen];
	bool seenset = c->seenset;
	memcpy(msg, c->msg, sizeof msg);
	memcpy(seen, c->seen, sizeof seen);
	if (c->text != nullptr) {
		wipe(c->text, c->textcap);
		free(c->text);
	}
	wipe(c, sizeof *c);
	memcpy(c->msg, msg, sizeof msg);
	memcpy(c->seen, seen, sizeof seen);
	c->seenset = seenset;
	c->status = st;
	return st;
}
