// A webhook's signature checked over the exact bytes of its body, as each
// sender computes it, for formdata -S and hookverify: the headers are
// read as CGI passes them, the body is fed as it is read, and nothing of
// it may be trusted before hookend says so.
#ifndef HOOK_H
#define HOOK_H
#include <cstddef>

#include "trust.h"

enum hookscheme {
	hook_github, hook_stripe, hook_slack, hook_shopify, hook_standard, hook_twilio, hook_gitlab, hook_twitch,
	hook_discord, hook_telnyx, hook_sendgrid
};
// Whether a scheme signs a timestamp, which then bounds how long a
// delivery may be replayed; one that signs none can be sent again for
// ever.
bool hooktimed(hookscheme s);
// A scheme's name, as -S takes it; false for none of them.
bool hooknamed(const char *name, hookscheme *s);
extern const char hookschemes[];	// "github, stripe, ..." for a message

// How a check ends: good; no signature (or timestamp) where the scheme
// needs one; one that is not in the scheme's form; one that no key gives;
// a timestamp outside the tolerance; or a key that is not in its form.
enum hookstatus { hook_ok, hook_missing, hook_malformed, hook_wrong, hook_stale, hook_badkey };

// A header's value by its CGI name (HTTP_X_HUB_SIGNATURE_256), or null.
typedef const char *headerfn(void *arg, const char *name);

enum { hookkeys = 8, hooksigs = 8 };
struct hookkey {
	const unsigned char *p;
	size_t n;
};

// A public key of a scheme that signs with one (Ed25519, ECDSA P-256),
// and such a signature: the message that they sign is kept whole, as the
// check needs it all at once.
struct hookpub {
	unsigned char key[96];
	size_t n;
	sigalg alg;
};
struct hookcheck {
	hookscheme scheme;
	hookpub pubs[hookkeys];
	int npubs;
	unsigned char asigs[hooksigs][80];
	size_t asiglen[hooksigs];
	sigalg asigalg[hooksigs];
	int nasigs;
	unsigned char *text;		// what the public keys sign, where there are some
	size_t textn, textcap;
	bool keep, textbad;
	// What tells this delivery from another, for -R: the sender's id
	// where it signs one, else its signature; and the scheme's name.
	unsigned char seen[32];		// a SHA-256 of it
	bool seenset;
	hookstatus status;		// where known before the body
	hmac macs[2 * hookkeys];	// twilio: each key over two URLs
	int nmacs;
	hash body;			// twilio: the body's SHA-256
	unsigned char sigs[hooksigs][hashmost];
	int nsigs;
	size_t siglen;
	const char *sha;		// twilio: the URL's bodySHA256, or null
	size_t shalen;
	bool twourls;			// twilio: and with or without its port
	char msg[256];
};

// Reads the headers that the scheme signs with, checks their form and the
// timestamp (decimal digits alone, or Twitch's RFC 3339, within tolerance
// seconds of now, either way), keys the MACs and feeds them what comes before the body. Where
// this gives anything but hook_ok, c->msg says why, and the body need not
// be read. url is the URL that the sender requested, for twilio alone.
hookstatus hookstart(hookcheck *c, hookscheme s, headerfn *header, void *arg, const hookkey *keys, int nkeys,
		     long long tolerance, long long now, const char *url);
// The body's bytes, in order, in pieces of any size.
void hookadd(hookcheck *c, const void *p, size_t n);
// Whether the signature holds over all that was fed; c->msg says why not.
// For twilio, form is an urlencoded body (n bytes, no NUL) whose fields
// the sender signs, or null for a JSON body. c is wiped, but for msg.
hookstatus hookend(hookcheck *c, const char *form, size_t n);
// Whether the request has been seen before, by a record in dir of what
// tells it apart, kept window seconds at least: null where it is new and
// now recorded; "replayed" where it was seen; or why dir cannot keep it.
// The record is made with O_EXCL, so that of two alike at once one
// passes; its name is the HMAC of that under a key of dir's own, no byte
// of the request; records older than two windows go as new ones come.
const char *hookreplay(const hookcheck *c, const char *dir, long long window, long long now);
// What c holds, given back and wiped, where hookend was not reached.
void hookfree(hookcheck *c);
#endif
