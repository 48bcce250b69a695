// b64, hmac, randtoken, jwtoken, otp and sigverify as bash loadable builtins, TOOL naming
// the one: the program's command line, with no process per call, the
// result handed to a variable with -v NAME, first. -k NAME takes a key
// from a shell variable, so that set -x shows its name alone; jwtoken's
// -A NAME and -T TYPES hand a token's claims to the script as jsonparse
// -A and -T do, or make a token of them as jsonquote -A builds a text.
//   enable -f hmac hmac
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shellvar.h"
#include "tokens.h"

#define NAME_(t) #t
#define NAME(t) NAME_(t)
#define STRUCT_(t) t##_struct
#define STRUCT(t) STRUCT_(t)

static const char *keyvar(const char *name)
{
	SHELL_VAR *v = find_variable(name);
	if (v == nullptr || array_p(v) || assoc_p(v) || invisible_p(v))
		return nullptr;
	return value_cell(v);
}

#if TOOLNO == 3
// -A NAME and -T TYPES taken out of the command line, and whether -s is
// there; false after a message where one lacks its NAME.
static bool arrays(int *argc, char **argv, jsonarrays *a, bool *sign)
{
	int to = 1, i = 1;
	for (; i < *argc; i++) {
		const char *w = argv[i];
		if (strcmp(w, "--") == 0 || w[0] != '-')
			break;		// the token or the text
		if (strcmp(w, "-A") == 0 || strcmp(w, "-T") == 0) {
			if (++i == *argc) {
				builtin_usage();
				return false;
			}
			(w[1] == 'A' ? a->values : a->types) = argv[i];
			continue;
		}
		*sign = *sign || strcmp(w, "-s") == 0;
		argv[to++] = argv[i];
		if ((strcmp(w, "-a") == 0 || strcmp(w, "-K") == 0 || strcmp(w, "-k") == 0 || strcmp(w, "-w") == 0 ||
		     strcmp(w, "-f") == 0 || strcmp(w, "-I") == 0 || strcmp(w, "-U") == 0 || strcmp(w, "-R") == 0) &&
		    i + 1 < *argc)
			argv[to++] = argv[++i];
	}
	while (i < *argc)
		argv[to++] = argv[i++];
	argv[*argc = to] = nullptr;
	a->assoc = true;
	return true;
}

// The claims as jsonparse -A and -T set them.
static int claims(const jsonarrays *a, const char *text, size_t n)
{
	static json j;
	jsonflat flat = {};
	jsonmem(&j, text, n, false);
	const char *why = jsonall(&j, &flat, maxvalues, maxbytes);
	int status = why != nullptr ? (builtin_error("%s", why), EXECUTION_FAILURE) : setjson(a, &flat);
	jsonflatfree(&flat);
	jsonend(&j);
	return status;
}
#endif

static int tool_builtin(WORD_LIST *list)
{
	WORD_DESC *name = nullptr;
	if (!setvarname(&list, &name))
		return EX_USAGE;
	static char progname[] = NAME(TOOL);
	int argc;
	char **argv = commandline(list, progname, &argc);
#if TOOLNO == 3
	jsonarrays a = {};
	bool sign = false;
	jsonbuf built = {};
	if (argv != nullptr && !arrays(&argc, argv, &a, &sign)) {
		free(argv);
		return EX_USAGE;
	}
	const char *bad = a.values == nullptr && a.types != nullptr ? "-T goes with -A" : nullptr;
	if (argv != nullptr && bad == nullptr && a.values != nullptr && !sign && !jsonarraysok(&a))
		bad = "";
	if (argv != nullptr && bad == nullptr && a.values != nullptr && sign) {
		// The claims built from the arrays, as jsonquote -A builds them.
		SHELL_VAR *v = find_variable(a.values), *t = a.types != nullptr ? find_variable(a.types) : nullptr;
		static char why[256];
		if (v == nullptr || !assoc_p(v) || (a.types != nullptr && (t == nullptr || !assoc_p(t)))) {
			snprintf(why, sizeof why, "%s: not an associative array", v == nullptr || !assoc_p(v) ? a.values : a.types);
			bad = why;
		} else {
			size_t n, nt = 0;
			char **kv = elements(v, &n), **tv = t != nullptr ? elements(t, &nt) : nullptr;
			bad = jsonbuild(kv, n / 2, tv, nt / 2, false, &built, why, sizeof why);
			xfree(kv);
			xfree(tv);
		}
		if (bad == nullptr) {
			argv = static_cast<char **>(realloc(argv, (static_cast<size_t>(argc) + 2) * sizeof *argv));
			argv[argc++] = built.p;
			argv[argc] = nullptr;
		}
	}
	if (bad != nullptr) {
		if (*bad != '\0')
			builtin_error("%s", bad);
		free(argv);
		jsonfree(&built);
		return EXECUTION_FAILURE;
	}
#endif
	if (argv == nullptr)
		return EXECUTION_FAILURE;
	syncinput();
	const char *why;
	size_t n;
	char *out = tokens(NAME(TOOL), argc, argv, keyvar, &n, &why);
#if TOOLNO == 1 || TOOLNO == 4
	// -c answers by the status alone, and leaves NAME as it was.
	bool check = false;
	const char *takers = TOOLNO == 1 ? "aKkfc" : "adptnKkcW";
	for (int i = 1; i < argc && argv[i][0] == '-' && strcmp(argv[i], "--") != 0; i++) {
		check = check || strcmp(argv[i], "-c") == 0;
		i += argv[i][1] != '\0' && strchr(takers, argv[i][1]) != nullptr && argv[i][2] == '\0' ? 1 : 0;
	}
	if (out != nullptr && check) {
		free(argv);
		free(out);
		return EXECUTION_SUCCESS;
	}
#endif
	free(argv);
#if TOOLNO == 3
	jsonfree(&built);
	if (out != nullptr && a.values != nullptr && !sign) {
		int status = claims(&a, out, n);
		free(out);
		return status;
	}
#endif
	if (out == nullptr) {
		if (why != nullptr)
			complain("%s", why);
		return badline ? EX_USAGE : EXECUTION_FAILURE;
	}
	if (memchr(out, '\0', n) != nullptr) {
		free(out);
		builtin_error("a NUL byte in the result, which a shell string cannot hold");
		return EXECUTION_FAILURE;
	}
	return handover(name, out, out);
}

#if TOOLNO == 0
static char doc0[] = "Encode a string, or standard input, as base64 and print it, with no newline.";
static char doc1[] = "";
static char doc2[] = "-u: base64url, with no padding. -d decodes, strictly: a character";
static char doc3[] = "outside the alphabet, a blank, wrong padding or bits left over are";
static char doc4[] = "refused (-d -u takes padding where it is right). A decoded NUL is an error.";
static char synopsis[] = "b64 [-v NAME] [-d] [-u] [--] [string]";
#elif TOOLNO == 1
static char doc0[] = "Print the HMAC of a string, or of standard input, as lower-case hex.";
static char doc1[] = "";
static char doc2[] = "-a sha1|sha256|sha384|sha512 (sha256). The key from -K FILE or the";
static char doc3[] = "variable -k NAME, never a word: -f raw|hex|base64 says how it is";
static char doc4[] = "written. -b base64, -u base64url. -c EXPECTED prints nothing: the";
static char doc4x[] = "status is 0 where any key's MAC equals it, in constant time.";
static char synopsis[] = "hmac [-v NAME] [-a ALG] [-K FILE | -k NAME]... [-f raw|hex|base64] [-N] [-b | -u] [-c EXPECTED] [--] [string]";
#elif TOOLNO == 3
static char doc0[] = "Verify a JSON Web Token signed with HMAC and print its claims as JSON.";
static char doc1[] = "";
static char doc2[] = "-a HS256|HS384|HS512|EdDSA|ES256, the caller's, never the token's. The key";
static char doc3[] = "from -K FILE or the variable -k NAME. exp and nbf against the clock,";
static char doc4[] = "-w LEEWAY s either way, iat no later; -I ISSUER, -U AUDIENCE, -R NAMES.";
static char doc4y[] = "-A NAME [-T TYPES]: the claims as jsonparse sets them.";
static char doc4x[] = "-s signs a JSON text, or with -A, the arrays as jsonquote -A builds them.";
static char synopsis[] = "jwtoken [-v NAME] [-s] -a ALG -K FILE | -k NAME [-f raw|hex|base64] [-w LEEWAY] [-I ISSUER] [-U AUDIENCE] [-R NAMES] [-A NAME [-T TYPES]] [--] [token | json]";
#elif TOOLNO == 4
static char doc0[] = "Print the one-time password of a secret: TOTP now, or HOTP at a counter.";
static char doc1[] = "";
static char doc2[] = "The secret, base32 or an otpauth:// URI, from -K FILE or the variable";
static char doc3[] = "-k NAME, never a word. -a sha1|sha256|sha512 (sha1), -d DIGITS (6 to 8),";
static char doc4[] = "-p PERIOD (30 s), -t TIME or -n COUNTER. -c CODE prints nothing: the";
static char doc4x[] = "status is 0 where CODE is one of -W STEPS' (1 each way), in constant time.";
static char synopsis[] = "otp [-v NAME] [-a ALG] [-d DIGITS] [-p PERIOD] [-t TIME | -n COUNTER] -K FILE | -k NAME [-N] [-c CODE [-W STEPS]]";
#elif TOOLNO == 5
static char doc0[] = "Check an Ed25519 or ECDSA P-256 signature over a string, or standard input.";
static char doc1[] = "";
static char doc2[] = "-a ed25519|p256. The public key from -K FILE or the variable -k NAME, in";
static char doc3[] = "-s SIGNATURE's encoding: -f hex|base64|base64url (hex). A P-256 key is";
static char doc4[] = "04 x y or its SubjectPublicKeyInfo; its signature DER, or r and s with -d.";
static char doc4x[] = "Prints nothing: the status is 0 where the signature holds.";
static char synopsis[] = "sigverify -a ed25519|p256 -K FILE | -k NAME -s SIGNATURE [-f hex|base64|base64url] [-d] [--] [string]";
#else
static char doc0[] = "Print a random token of 32 bytes from the kernel, as hex.";
static char doc1[] = "";
static char doc2[] = "-n BYTES, from 1 to 1024, for another length; -u base64url, with no";
static char doc3[] = "padding. For session ids and CSRF tokens, where $RANDOM will not do.";
#endif
static char doc5[] = "  -v NAME   set the variable NAME to the result, as printf -v does;";
static char doc6[] = "            only ever first";
static char doc7[] = "Exit status: 0, or 1 on a refused input, a mismatch under -c, a NAME";
static char doc8[] = "that cannot be set, or a failed write; 2 on a bad command line.";
#if TOOLNO == 3
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc4y, doc4x, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#elif TOOLNO == 1 || TOOLNO == 4 || TOOLNO == 5
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc4x, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#elif TOOLNO == 2
static char synopsis[] = "randtoken [-v NAME] [-n BYTES] [-u]";
static char *doc[] = {doc0, doc1, doc2, doc3, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#else
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc5, doc6, doc1, doc7, doc8, nullptr};
#endif
static char bname[] = NAME(TOOL);

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin STRUCT(TOOL) = {
	bname, tool_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
