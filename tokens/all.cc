// Each tool by its name, for the builtins, which hold them all.
#include <cstring>

#include "tokens.h"

char *tokens(const char *tool, int argc, char *const argv[], keyvarfn *var, size_t *n, const char **why)
{
	static const struct {
		const char *name;
		toolfn *run;
	} tools[] = {{"b64", b64run}, {"hmac", hmacrun}, {"randtoken", randtokenrun},
		     {"hookverify", hookverifyrun}, {"jwtoken", jwtokenrun}, {"otp", otprun},
		     {"sigverify", sigverifyrun}};
	for (const auto &t : tools)
		if (strcmp(t.name, tool) == 0)
			return t.run(argc, argv, var, n, why);
	*n = 0;
	*why = "no such tool";
	return nullptr;
}
