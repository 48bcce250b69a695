// sigverify: whether a public-key signature, Ed25519 or ECDSA P-256,
// holds over a string or standard input; the status says, and nothing is
// written. The key comes from a file or a variable, in the signature's
// encoding.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "intern.h"

const char sigusage[] = "usage: sigverify -a ed25519|p256 -K FILE | -k NAME -s SIGNATURE [-f hex|base64|base64url] [-d] [string]";

struct sigjob {
	sigalg alg;
	bool gotalg, rs;
	basekind form;
	const char *sig;
};

static const char *sigoptions(int argc, char *const argv[], sigjob *o, job *j)
{
	*o = {};
	o->form = base_hex;
	j->keyform = base_64url;	// raw: read below, in -f's encoding
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		const char *opt = argv[i], *arg = i + 1 < argc ? argv[i + 1] : nullptr;
		if (same(opt, "--")) {
			i++;
			break;
		}
		if (same(opt, "-d")) {
			o->rs = true;
			continue;
		}
		if (opt[2] != '\0' || arg == nullptr || !(opt[1] == 'a' || opt[1] == 'K' || opt[1] == 'k' || opt[1] == 's' ||
							    opt[1] == 'f'))
			return sigusage;
		switch (opt[1]) {
		case 'a':
			if (same(arg, "ed25519"))
				o->alg = sig_ed25519;
			else if (same(arg, "p256"))
				o->alg = sig_p256;
			else
				return says("-a: an algorithm of ed25519 and p256, not ", arg);
			o->gotalg = true;
			break;
		case 's':
			o->sig = arg;
			break;
		case 'f':
			if (same(arg, "hex"))
				o->form = base_hex;
			else if (same(arg, "base64"))
				o->form = base_64;
			else if (same(arg, "base64url"))
				o->form = base_64url;
			else
				return says("-f: an encoding of hex, base64 and base64url, not ", arg);
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
	if (!o->gotalg || o->sig == nullptr || j->nfiles + j->nvars != 1 || i + 1 < argc)
		return sigusage;
	if (o->rs && o->alg != sig_p256)
		return "-d reads a P-256 signature as r and s: not for ed25519";
	j->string = i < argc ? argv[i] : nullptr;
	return nullptr;
}

// n characters of s in the form into out; null, or why not.
static const char *decoded(basekind form, const char *s, size_t n, bytes *out, const char *what)
{
	size_t len;
	if (!more(out, n))
		return "cannot allocate memory";
	const char *bad = basein(form, form == base_64 ? pad_must : pad_never, s, n, out->p, &len);
	if (bad != nullptr)
		return says(what, form == base_hex ? " that is not hex: " : form == base_64 ? " that is not base64: " : " that is not base64url: ",
			    bad, " at offset ", decimal(len));
	out->n = len;
	return nullptr;
}

char *sigverifyrun(int argc, char *const argv[], keyvarfn *var, size_t *len, const char **why)
{
	job j = {};
	sigjob o;
	*len = 0;
	if ((*why = sigoptions(argc, argv, &o, &j)) != nullptr) {
		badline = true;
		return nullptr;
	}
	badline = false;
	bytes raw[keysmost] = {}, key = {}, sig = {}, text = {};
	char *out = nullptr;
	bool good = false;
	if ((*why = loadkeys(&j, var, raw)) == nullptr &&
	    (*why = decoded(o.form, reinterpret_cast<const char *>(raw[0].p), raw[0].n, &key, "a key")) == nullptr &&
	    (*why = decoded(o.form, o.sig, strlen(o.sig), &sig, "a signature")) == nullptr) {
		if (j.string != nullptr) {
			text.p = reinterpret_cast<unsigned char *>(const_cast<char *>(j.string));
			text.n = strlen(j.string);
		} else if ((*why = slurp(0, &text, inputmost)) != nullptr) {
			*why = says("standard input: ", same(*why, "too long") ? "longer than 64 MiB" : *why);
		}
		if (*why == nullptr)
			*why = sigcheck(o.alg, key.p, key.n, sig.p, sig.n, o.rs, text.p != nullptr ? text.p : key.p, text.n, &good);
		if (j.string != nullptr)
			text = bytes{};
	}
	if (*why == nullptr && good && (out = result("", 0, len)) == nullptr)
		*why = "cannot allocate the result";
	drop(&raw[0]);
	drop(&key);
	drop(&sig);
	drop(&text);
	return out;
}
