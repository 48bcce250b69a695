#include <cstring>

#include "shellvar.h"

bool goodname(WORD_DESC *name, bool element)
{
	int vflags, bflags;

	SET_VFLAGS(name->flags, vflags, bflags);
	(void)bflags;
	if (legal_identifier(name->word) ||
	    (element && valid_array_reference(name->word, vflags)))
		return true;
	sh_invalidid(name->word);
	return false;
}

bool setvar(WORD_DESC *name, const char *value)
{
	int vflags, bflags;

	SET_VFLAGS(name->flags, vflags, bflags);
	(void)vflags;
	// Never evaluated, even where the variable has the integer attribute:
	// the value is the script's data, and arithmetic can run commands.
	SHELL_VAR *v = builtin_bind_variable(name->word, const_cast<char *>(value),
					     bflags | ASS_NOEVAL);
	stupidly_hack_special_variables(name->word);
	return v != nullptr && !readonly_p(v) && !noassign_p(v);
}

SHELL_VAR *newarray(char *name, bool assoc)
{
	// 1: a readonly array is an error, reported there, as for read and
	// mapfile; 2: make an associative one.
	SHELL_VAR *v = find_or_make_array_variable(name, assoc ? 3 : 1);
	if (v == nullptr)
		return nullptr;
	if (!assoc && assoc_p(v)) {
		builtin_error("%s: cannot convert associative to indexed array", name);
		return nullptr;
	}
	if (assoc)
		assoc_flush(assoc_cell(v));
	else
		array_flush(array_cell(v));
	VUNSETATTR(v, att_invisible);	// declared but unset until now
	return v;
}

void setelem(SHELL_VAR *array, arrayind_t i, const char *value)
{
	array_insert(array_cell(array), i, const_cast<char *>(value));
}

void setkey(SHELL_VAR *array, const char *key, const char *value)
{
	// The table keeps the key it is given, so it gets a copy of its own.
	char *own = static_cast<char *>(xmalloc(strlen(key) + 1));
	assoc_insert(assoc_cell(array), strcpy(own, key), const_cast<char *>(value));
}
