// jwtoken: a token verified, its claims the result; or one made of the
// claims.
#include <cstring>
#include <ctime>

#include "intern.h"
#include "jwt.h"

// A token verified, its claims the result; or one made of the claims.
char *jwtokenrun(int argc, char *const argv[], keyvarfn *var, size_t *len, const char **why)
{
	job jb = {};
	const job *j = &jb;
	hashalg a;
	sigalg pub;
	*len = 0;
	if ((*why = options("jwtoken", argc, argv, &jb)) != nullptr)
		return nullptr;
	bool mac = jwtalg(jb.algname, &a);
	if (!mac && !jwtpublic(jb.algname, &pub)) {
		*why = says("-a: an algorithm of HS256, HS384, HS512, EdDSA and ES256, not ", jb.algname);
		badline = true;
		return nullptr;
	}
	if (!mac && j->decode) {
		*why = says("-s signs with HS256, HS384 and HS512: ", jb.algname, " tokens are verified here, not made");
		badline = true;
		return nullptr;
	}
	bytes keys[keysmost] = {};
	jwtkey k[keysmost];
	jsonbuf out = {};
	int nkeys = j->nfiles + j->nvars;
	jwtwant want = {j->issuer, j->audience, j->required};
	if ((*why = loadkeys(j, var, keys)) == nullptr) {
		for (int i = 0; i < nkeys; i++)
			k[i] = {keys[i].p, keys[i].n};
		*why = j->decode ? jwtsign(j->string, strlen(j->string), j->algname, &k[0], &out) :
				   jwtverify(j->string, j->algname, k, nkeys, j->tolerance, time(nullptr), &out, &want);
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

