// hookverify: a webhook's body on standard input, passed on only once its
// signature holds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "hook.h"
#include "intern.h"

// A header's value: from -H, whose name is matched as CGI names it
// (HTTP_ and the name in upper case, '-' as '_'; Content-Type as
// CONTENT_TYPE), or else from the environment.
static const char *header(void *arg, const char *name)
{
	const job *j = static_cast<const job *>(arg);
	for (int h = j->nheaders - 1; h >= 0; h--) {
		const char *given = j->headers[h], *colon = strchr(given, ':');
		bool plain = same(name, "CONTENT_TYPE");
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
char *hookverifyrun(int argc, char *const argv[], keyvarfn *, size_t *len, const char **why)
{
	job jb = {};
	const job *j = &jb;
	hookscheme scheme;
	*len = 0;
	if ((*why = options("hookverify", argc, argv, &jb)) != nullptr)
		return nullptr;
	if (!hooknamed(jb.schemename, &scheme)) {
		*why = says("-S: a scheme of github, stripe, slack, shopify, standard, twilio and gitlab, not ", jb.schemename);
		return nullptr;
	}
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
	if (hookstart(&c, scheme, header, const_cast<job *>(j), k, j->nfiles, j->tolerance, time(nullptr), j->url) !=
	    hook_ok) {
		*why = c.msg;
		goto done;
	}
	if ((bad = slurp(0, &body, inputmost)) != nullptr) {
		*why = says("standard input: ", same(bad, "too long") ? "more than 64 MiB" : bad);
		goto done;
	}
	hookadd(&c, body.p, body.n);
	{
		// Twilio signs a form's fields; any other body, the bytes.
		const char *type = header(const_cast<job *>(j), "CONTENT_TYPE");
		bool form = scheme == hook_twilio && type != nullptr &&
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

