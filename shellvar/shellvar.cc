#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdio_ext.h>

#include "lines.h"
#include "shellvar.h"
#include "text.h"
#include "urlcode.h"

extern "C" {
// Not in the installed headers (flags.h and input.h of bash's sources);
// these are bash's own declarations.
extern int exit_immediately_on_error;
extern int default_buffered_input;
int fd_is_bash_input(int fd);
int sync_buffered_stream(int bfd);
// Declared there with no parameters, which C++ reads as none at all; this
// is how bash defines it.
void add_unwind_protect_(void (*cleanup)(void *), void *arg) __asm__("add_unwind_protect");
}

// The name that an assignment to name, a variable or an element, binds
// in the end, in memory from bash's allocator; null after a message. An
// element's subscript is never handed to bash to expand or evaluate,
// since an indexed array's is arithmetic, and arithmetic runs $(...): an
// associative array's key is the subscript's bytes as they stand, and an
// indexed array's index a decimal integer, with an optional minus and no
// other byte, rewritten as the number it is ("007" is 7, not octal). A
// nameref that leads to an element is taken as that element. *assoc
// says which kind the element is.
static char *bindname(const char *name, bool *assoc)
{
	*assoc = false;
	const char *ref = name;
	if (strchr(name, '[') == nullptr) {
		SHELL_VAR *r = find_variable_last_nameref(name, 0);
		if (r == nullptr || !nameref_p(r) || strchr(nameref_cell(r), '[') == nullptr) {
			if (legal_identifier(name))
				return savebytes(name, strlen(name));
			sh_invalidid(const_cast<char *>(name));
			return nullptr;
		}
		ref = nameref_cell(r);
	}
	size_t n = strcspn(ref, "["), len = strlen(ref);
	char *base = savebytes(ref, n);
	if (!legal_identifier(base) || len < n + 3 || ref[len - 1] != ']') {
		sh_invalidid(const_cast<char *>(ref));
		xfree(base);
		return nullptr;
	}
	const char *sub = ref + n + 1;
	size_t sublen = len - n - 2;
	// The array that namerefs lead to, set or not.
	SHELL_VAR *r = find_variable_last_nameref(base, 0);
	const char *real = r != nullptr && nameref_p(r) ? nameref_cell(r) : base;
	const char *why = nullptr;
	char num[24];
	SHELL_VAR *v = find_variable(real);
	if (strchr(real, '[') != nullptr || !legal_identifier(real)) {
		why = "a nameref to an element, not an array";
	} else if (v != nullptr && assoc_p(v)) {
		*assoc = true;
	} else {
		// At most 18 digits after leading zeros, which no index exceeds.
		size_t minus = sub[0] == '-', zeros = strspn(sub + minus, "0");
		size_t digits = strspn(sub + minus, "0123456789");
		if (digits == 0 || minus + digits != sublen || digits - zeros > 18) {
			why = "an indexed array's subscript must be a decimal integer";
		} else {
			long long i = 0;
			for (size_t k = minus + zeros; k < sublen; k++)
				i = i * 10 + (sub[k] - '0');
			snprintf(num, sizeof num, "%lld", minus != 0 ? -i : i);
			sub = num;
			sublen = strlen(num);
		}
	}
	char *out = nullptr;
	if (why != nullptr) {
		complain("%s: %s", ref, why);
	} else {
		size_t rn = strlen(real);
		out = static_cast<char *>(xmalloc(rn + sublen + 3));
		memcpy(out, real, rn);
		out[rn] = '[';
		memcpy(out + rn + 1, sub, sublen);
		out[rn + 1 + sublen] = ']';
		out[rn + sublen + 2] = '\0';
	}
	xfree(base);
	return out;
}

bool goodname(WORD_DESC *name, bool element)
{
	if (!element) {
		if (legal_identifier(name->word))
			return true;
		sh_invalidid(name->word);
		return false;
	}
	bool assoc;
	char *bind = bindname(name->word, &assoc);
	bool good = bind != nullptr;
	xfree(bind);
	return good;
}

bool setvarname(WORD_LIST **list, WORD_DESC **name)
{
	*name = nullptr;
	if (*list == nullptr || strcmp((*list)->word->word, "-v") != 0)
		return true;
	if ((*list)->next == nullptr) {
		sh_needarg((*list)->word->word);
		return false;
	}
	*name = (*list)->next->word;
	if (!goodname(*name, true))
		return false;
	*list = (*list)->next->next;
	return true;
}

// A loop, which the compiler vectorizes, where memcpy would be the one
// call of the C library's that hardening-check finds unchecked in a
// builtin that has no buffer of a size known to check against.
char *savebytes(const char *s, size_t n)
{
	char *p = static_cast<char *>(xmalloc(n + 1));
	for (size_t i = 0; i < n; i++)
		p[i] = s[i];
	p[n] = '\0';
	return p;
}

// The variable that name, a variable's or an element's, leads to through
// namerefs, set or not, without its subscript, in memory from bash's
// allocator; *element says whether the name or the last nameref has one.
static char *target(const char *name, bool *element)
{
	size_t n = strcspn(name, "[");
	char *base = savebytes(name, n);
	SHELL_VAR *ref = find_variable_last_nameref(base, 0);
	const char *to = ref != nullptr && nameref_p(ref) ? nameref_cell(ref) : base;
	*element = name[n] != '\0' || strchr(to, '[') != nullptr;
	char *real = savebytes(to, strcspn(to, "["));
	xfree(base);
	return real;
}

// Whether an assignment to name, a variable or an element, may go ahead,
// with the reason on standard error when it may not. It is decided here,
// before bash is asked, because bash reports these through report_error,
// which ends a shell under set -e even where the script tests the status.
// The variable is the one that namerefs lead to, set or not; array says
// whether it is, or is to become, an array.
static bool allowed(const char *name, bool array)
{
	bool element;
	char *real = target(name, &element);
	array = array || element;
	SHELL_VAR *v = find_variable(real);

	const char *why = nullptr;
	// bash keeps a pointer into IFS's string for its word splitting, which
	// making it an array frees.
	if (array && strcmp(real, "IFS") == 0)
		why = "cannot be an array";
	else if (v != nullptr && readonly_p(v))
		why = "readonly variable";
	else if (v != nullptr && noassign_p(v))
		why = "set by the shell alone";
	// RANDOM, SECONDS and BASHPID: the assign functions of the first two
	// evaluate the value as arithmetic, which can run commands.
	else if (v != nullptr && v->assign_func != nullptr && integer_p(v))
		why = "computed by the shell, which may evaluate what is assigned to it";
	xfree(real);
	if (why != nullptr)
		complain("%s: %s", name, why);
	return why == nullptr;
}

bool samevar(const char *a, const char *b)
{
	bool element;
	char *x = target(a, &element), *y = target(b, &element);
	bool same = strcmp(x, y) == 0;
	xfree(x);
	xfree(y);
	return same;
}

bool setvar(WORD_DESC *name, const char *value)
{
	int vflags, bflags;

	SET_VFLAGS(name->flags, vflags, bflags);
	(void)vflags;
	// An associative array's key goes to bash as it stands, never
	// expanded, and whole: from the first '[' to the last ']'.
	bool assoc;
	char *bind = bindname(name->word, &assoc);
	if (bind == nullptr)
		return false;
	if (assoc)
		bflags |= ASS_NOEXPAND | ASS_ONEWORD;
	if (!allowed(bind, false)) {
		xfree(bind);
		return false;
	}
	// What bash may still report itself (a subscript out of range) must not
	// end the shell either, whatever happens to the command on the way.
	static char frame[] = "setvar";
	begin_unwind_frame(frame);
	unwind_protect_mem(reinterpret_cast<char *>(&exit_immediately_on_error),
			   static_cast<int>(sizeof exit_immediately_on_error));
	exit_immediately_on_error = 0;
	// Never evaluated, even where the variable has the integer attribute:
	// the value is the script's data, and arithmetic can run commands.
	SHELL_VAR *v = builtin_bind_variable(bind, const_cast<char *>(value), bflags | ASS_NOEVAL);
	run_unwind_frame(frame);
	xfree(bind);
	if (v == nullptr)
		return false;
	// By the name that namerefs led to: IFS is bash's word splitting.
	stupidly_hack_special_variables(v->name);
	return true;
}

bool arrayok(const char *name, bool assoc)
{
	WORD_DESC word = {const_cast<char *>(name), 0};
	if (!goodname(&word, false) || !allowed(name, true))
		return false;
	// A nameref to an element names no array, as bash would say only once
	// the array is to be made.
	SHELL_VAR *ref = find_variable_last_nameref(name, 0);
	if (ref != nullptr && nameref_p(ref) && strchr(nameref_cell(ref), '[') != nullptr) {
		complain("%s: a nameref to %s, an element, not an array", name, nameref_cell(ref));
		return false;
	}
	SHELL_VAR *v = find_variable(name);
	if (v != nullptr && assoc != (assoc_p(v) != 0) && (array_p(v) || assoc_p(v))) {
		complain(assoc ? "%s: cannot convert indexed to associative array" :
				      "%s: cannot convert associative to indexed array", name);
		return false;
	}
	return true;
}

SHELL_VAR *newarray(char *name, bool assoc)
{
	if (!arrayok(name, assoc))
		return nullptr;
	SHELL_VAR *v = find_or_make_array_variable(name, assoc ? 2 : 0);
	if (v == nullptr)
		return nullptr;
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
	// A key that is there keeps its place and takes the new value, as
	// assoc_insert would leave it, with no copy of the key made only to be
	// thrown away: a form may repeat a key thousands of times. A new key
	// is the table's to keep, so it gets a copy of its own.
	BUCKET_CONTENTS *b = hash_search(key, assoc_cell(array), 0);
	if (b != nullptr) {
		xfree(b->data);
		b->data = savebytes(value, strlen(value));
		return;
	}
	assoc_insert(assoc_cell(array), savebytes(key, strlen(key)), const_cast<char *>(value));
}

// A key new to an associative array that was just emptied, among keys
// known to differ, as a text's pointers do: put in with no search, so
// that keys chosen to collide in bash's hash, which is not keyed, cost
// no more than any others.
static BUCKET_CONTENTS *newkey(SHELL_VAR *array, const char *key, size_t n, const char *value)
{
	BUCKET_CONTENTS *b = hash_insert(savebytes(key, n), assoc_cell(array), HASH_NOSRCH);
	b->data = savebytes(value, strlen(value));
	return b;
}

// The keys that a call has put in an associative array, each once, by
// the buckets that bash made for them: a table of its own, under a hash
// keyed at random, so that keys chosen to collide in bash's hash, which
// anyone can compute, cost no more than others, as bash's table is never
// searched.
struct keyset {
	BUCKET_CONTENTS **slot;
	size_t size, used;
};

static size_t slotof(const keyset *s, const char *key)
{
	size_t k = static_cast<size_t>(jsonhash(key, strlen(key), 0)) & (s->size - 1);
	while (s->slot[k] != nullptr && strcmp(s->slot[k]->key, key) != 0)
		k = (k + 1) & (s->size - 1);
	return k;
}

// key to value, unless it is empty, or is there already and first says
// that the first value wins.
static void putkey(SHELL_VAR *array, keyset *s, const char *key, const char *value, bool first)
{
	if (*key == '\0')
		return;
	if (2 * (s->used + 1) > s->size) {
		keyset t = {nullptr, s->size == 0 ? 16 : 2 * s->size, s->used};
		t.slot = static_cast<BUCKET_CONTENTS **>(xmalloc(t.size * sizeof *t.slot));
		memset(t.slot, 0, t.size * sizeof *t.slot);
		for (size_t i = 0; i < s->size; i++)
			if (s->slot[i] != nullptr)
				t.slot[slotof(&t, s->slot[i]->key)] = s->slot[i];
		xfree(s->slot);
		*s = t;
	}
	size_t k = slotof(s, key);
	BUCKET_CONTENTS *b = s->slot[k];
	if (b == nullptr) {
		s->slot[k] = newkey(array, key, strlen(key), value);
		s->used++;
	} else if (!first) {
		xfree(b->data);
		b->data = savebytes(value, strlen(value));
	}
}

int setpairs(char *name, bool assoc, char *const *kv, size_t n, bool first)
{
	SHELL_VAR *array = newarray(name, assoc);
	if (array == nullptr)
		return EXECUTION_FAILURE;
	keyset s = {};
	for (size_t i = 0; i < n; i++)
		if (assoc)
			putkey(array, &s, kv[2 * i], kv[2 * i + 1], first);
		else
			setelem(array, static_cast<arrayind_t>(2 * i), kv[2 * i]),
				setelem(array, static_cast<arrayind_t>(2 * i + 1), kv[2 * i + 1]);
	xfree(s.slot);
	return EXECUTION_SUCCESS;
}

bool within(size_t n, unsigned long long bytes, unsigned long long most, unsigned long long maxbytes)
{
	char why[128];
	if (overlimit(n, bytes, most, maxbytes, why, sizeof why) != nullptr) {
		complain("%s", why);
		return false;
	}
	return true;
}

// Every field of the query string (-a, -A) or cookie (-C) into the array:
// keys and values in turn, or each key to its value. Of a repeated key, a
// query's last value wins, but a cookie's first, as browsers send the
// cookie with the longest path first. An empty key can be no subscript of
// an associative array, so it is left out. The fields are counted first,
// and their bytes as they stand, which decoding only shortens, before the
// array is touched; with -e, which lengthens them, as they will be held,
// each decoded and escaped once to be measured. Then each is decoded in
// turn, in the same few bytes of copy.
int setfields(char *name, char opt, const char *query, char *copy, bool blanks, bool escape,
	      decoding how, unsigned long long most, unsigned long long maxbytes)
{
	size_t n;
	unsigned long long held;
	const char *key, *value, *q = query;
	fieldcount(query, opt == 'C' ? ';' : '&', &n, &held);
	if (escape) {
		held = 0;
		while (opt == 'C' ? nextcookie(&q, copy, blanks, escape, &key, &value, how) :
				    nextfield(&q, copy, blanks, escape, &key, &value, how))
			held += strlen(key) + strlen(value);
	}
	if (!within(n, held, most, maxbytes))
		return EXECUTION_FAILURE;
	SHELL_VAR *array = newarray(name, opt != 'a');
	if (array == nullptr)
		return EXECUTION_FAILURE;
	keyset s = {};
	arrayind_t i = 0;
	while (opt == 'C' ? nextcookie(&query, copy, blanks, escape, &key, &value, how) :
			    nextfield(&query, copy, blanks, escape, &key, &value, how)) {
		if (opt != 'a') {
			putkey(array, &s, key, value, opt == 'C');
		} else {
			setelem(array, i++, key);
			setelem(array, i++, value);
		}
	}
	xfree(s.slot);
	return EXECUTION_SUCCESS;
}

bool limit(const char *option, const char *arg, unsigned long long *to)
{
	intmax_t n;
	if (!legal_number(arg, &n) || n < 0) {
		complain("%s: %s: not a number", option, arg);
		return false;
	}
	*to = static_cast<unsigned long long>(n);
	return true;
}

bool jsonarraysok(const jsonarrays *a)
{
	const char *names[] = {a->values, a->types, a->counts, a->names};
	for (size_t i = 0; i < 4; i++) {
		if (names[i] == nullptr)
			continue;
		if (!arrayok(names[i], i > 0 || a->assoc))
			return false;
		for (size_t k = 0; k < i; k++) {
			if (names[k] != nullptr && samevar(names[i], names[k])) {
				complain("%s: the values, the types, the counts and the names need arrays of their own", names[i]);
				return false;
			}
		}
	}
	return true;
}

int setjson(const jsonarrays *a, const jsonflat *f)
{
	SHELL_VAR *values = nullptr, *types = nullptr, *counts = nullptr, *names = nullptr;
	if ((a->values != nullptr && (values = newarray(a->values, a->assoc)) == nullptr) ||
	    (a->types != nullptr && (types = newarray(a->types, true)) == nullptr) ||
	    (a->counts != nullptr && (counts = newarray(a->counts, true)) == nullptr) ||
	    (a->names != nullptr && (names = newarray(a->names, true)) == nullptr))
		return EXECUTION_FAILURE;
	arrayind_t i = 0;
	jsonbuf key = {};
	for (size_t k = 0; k < f->n; k++) {
		const jsonentry *e = &f->v[k];
		const char *p = f->bytes.p + e->ptr, *v = f->bytes.p + e->value;
		size_t plen = strlen(p);
		// The whole text's pointer, "", can be no key: "#", which no
		// other pointer is, stands for it.
		const char *at = plen > 0 ? p : "#";
		size_t atlen = plen > 0 ? plen : 1;
		if (values != nullptr && e->type < jsonarray && !a->assoc) {
			setelem(values, i++, p);
			setelem(values, i++, v);
		} else if (values != nullptr && e->type < jsonarray && plen > 0) {
			newkey(values, p, plen, v);
		}
		if (types != nullptr)
			newkey(types, at, atlen, jsontypes[e->type]);
		if (counts != nullptr && e->type >= jsonarray)
			newkey(counts, at, atlen, v);
		if (names != nullptr && e->named) {
			// The object's pointer, then "/" and the member's place; the
			// name is the pointer's last, unescaped.
			const char *last = p;
			for (const char *c = p; *c != '\0'; c++)
				if (*c == '/')
					last = c;
			char n[24];
			key.n = 0;
			jsonadd(&key, p, static_cast<size_t>(last - p) + 1);
			jsonadd(&key, n, jsonnum(n, 0, sizeof n, e->index));
			size_t at0 = key.n + 1;
			jsonadd(&key, "", 1);
			for (const char *c = last + 1; *c != '\0'; c++)
				jsonadd(&key, *c == '~' ? (*++c == '0' ? "~" : "/") : c, 1);
			if (key.bad)
				break;
			newkey(names, key.p, at0 - 1, key.p + at0);
		}
	}
	bool bad = key.bad;
	jsonfree(&key);
	if (bad) {
		complain("out of memory");
		return EXECUTION_FAILURE;
	}
	return EXECUTION_SUCCESS;
}

char **commandline(WORD_LIST *list, char *name, int *argc)
{
	size_t n = 1;
	for (WORD_LIST *l = list; l != nullptr; l = l->next)
		n++;
	char **argv = static_cast<char **>(malloc((n + 1) * sizeof *argv));
	if (argv == nullptr) {
		complain("cannot allocate the command line");
		return nullptr;
	}
	argv[0] = name;
	*argc = 1;
	for (WORD_LIST *l = list; l != nullptr; l = l->next)
		argv[(*argc)++] = l->word->word;
	argv[*argc] = nullptr;
	return argv;
}

int handover(WORD_DESC *name, const char *result, void *block)
{
	if (name == nullptr) {
		fputs(result, stdout);
		xfree(block);
		// Flushes, and reports a write that failed.
		return sh_chkwrite(EXECUTION_SUCCESS);
	}
	// The assignment may end in an arithmetic error in NAME's subscript,
	// and bash then aborts the command without returning here.
	guard(xfree, block);
	bool set = setvar(name, result);
	unguard(true);
	return set ? EXECUTION_SUCCESS : EXECUTION_FAILURE;
}

static char kept[1024];

void complain(const char *format, ...)
{
	// Text, whatever the client's bytes that it quotes: a script puts it
	// in its answer as it stands.
	char made[4 * sizeof kept];
	va_list ap;
	va_start(ap, format);
	int n = vsnprintf(made, sizeof made, format, ap);
	va_end(ap);
	size_t len = n < 0 ? 0 : static_cast<size_t>(n) < sizeof made ? static_cast<size_t>(n) : sizeof made - 1;
	textline(kept, sizeof kept, made, len, static_cast<size_t>(n) >= sizeof made);
	builtin_error("%s", kept);
}

void saybuiltin(const char *, const char *what)
{
	complain("%s", what);
}

// A line mode's results go out through the shell's stream, as the rest of
// a builtin's output does, in its order; n = 0 flushes it. Set as the
// object is loaded, before any builtin of it runs.
static bool streamput(const char *p, size_t n)
{
	if (n > 0)
		return fwrite(p, 1, n, stdout) == n;
	return fflush(stdout) == 0 && !ferror(stdout);
}

__attribute__((constructor)) static void streamed()
{
	lineput = streamput;
}

int linesend(int status)
{
	if (ferror(stdout)) {
		__fpurge(stdout);
		clearerr(stdout);
	}
	return status;
}

void forget()
{
	kept[0] = '\0';
}

void tell(WORD_DESC *name)
{
	if (name != nullptr) {
		// The message, not the variable's own, as setvar may complain.
		char why[sizeof kept];
		memcpy(why, kept, sizeof why);
		setvar(name, why);
	}
}

// bash runs the unwind-protects on its way out of an aborted command.
static char guarded[] = "shellvar-guard";

void guard(void (*cleanup)(void *), void *arg)
{
	begin_unwind_frame(guarded);
	add_unwind_protect_(cleanup, arg);
}

void unguard(bool cleanup)
{
	if (cleanup)
		run_unwind_frame(guarded);
	else
		discard_unwind_frame(guarded);
}

void syncinput()
{
	if (interactive == 0 && default_buffered_input >= 0 && fd_is_bash_input(0))
		sync_buffered_stream(default_buffered_input);
}

// An associative array's pairs, in the byte order of their keys.
static int bykey(const void *a, const void *b)
{
	return strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
}

// One more than the count, so that an empty array asks for some memory.
char **elements(SHELL_VAR *array, size_t *n)
{
	size_t i = 0;
	char **v;

	if (assoc_p(array)) {
		HASH_TABLE *h = assoc_cell(array);
		v = static_cast<char **>(xmalloc((2 * static_cast<size_t>(h->nentries) + 1) * sizeof *v));
		for (int b = 0; b < h->nbuckets; b++) {
			for (BUCKET_CONTENTS *e = h->bucket_array[b]; e != nullptr; e = e->next) {
				v[i++] = e->key;
				v[i++] = static_cast<char *>(e->data);
			}
		}
		qsort(v, i / 2, 2 * sizeof *v, bykey);
	} else {
		ARRAY *a = array_cell(array);
		v = static_cast<char **>(xmalloc((static_cast<size_t>(array_num_elements(a)) + 1) * sizeof *v));
		for (ARRAY_ELEMENT *e = element_forw(a->head); e != a->head; e = element_forw(e))
			v[i++] = element_value(e);
	}
	*n = i;
	return v;
}
