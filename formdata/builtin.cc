// formdata as a bash loadable builtin: a request's body, as a CGI script
// reads it from standard input (multipart/form-data, urlencoded fields or
// a JSON text), its fields into arrays and its files into new files of
// the builtin's own. The request library reads the body; this hands what
// it made to the script.
//   enable -f formdata formdata
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "request.h"
#include "shellvar.h"
#include "tokens.h"

extern "C" {
#include "bashgetopt.h"
// Not in the installed headers (sig.h of bash's sources); bash's own
// declaration. It runs the traps of the signals that have come, as zread
// does when a read is interrupted.
void check_signals_and_traps(void);
}

// -S and its keys, tolerance and URL.
struct signing {
	bool on;
	hookscheme scheme;
	const char *vars[hookkeys], *files[hookkeys];
	int nvars, nfiles;
	long long tolerance;
	const char *url;
};

// What a call has made lives on the heap, undone when the call fails or
// bash aborts it, as bash may run the undo after the builtin's frame is
// gone.
static void undo(void *r)
{
	reqfree(static_cast<request *>(r), false);
	free(r);
}

// The arrays a call sets: the fields, the files, and a JSON body's types,
// counts and names.
struct arrays {
	jsonarrays json;	// the fields are json.values
	char *files;
};

// Whether the arrays may be set: each as its NAME rules say, and no two
// one variable, through namerefs or not.
static bool arraysok(const arrays *a)
{
	if (!jsonarraysok(&a->json) || (a->files != nullptr && !arrayok(a->files, false)))
		return false;
	const char *others[] = {a->json.values, a->json.types, a->json.counts, a->json.names};
	for (const char *o : others) {
		if (a->files != nullptr && o != nullptr && samevar(a->files, o)) {
			complain("%s: the fields, the files, the types, the counts and the names need arrays of their own",
				 a->files);
			return false;
		}
	}
	return true;
}

// The kinds of body that -b names, as a set of formbegin's kinds; 0 after
// a message where a name is no kind.
static unsigned kinds(const char *list)
{
	static const char *const names[] = {"multipart", "urlencoded", "json"};
	unsigned set = 0;
	for (const char *p = list;; p++) {
		size_t n = strcspn(p, ",");
		unsigned k = 0;
		while (k < 3 && (strlen(names[k]) != n || strncmp(p, names[k], n) != 0))
			k++;
		if (k == 3) {
			complain("-b: %s: not a list of multipart, urlencoded and json", list);
			return 0;
		}
		set |= 1u << k;
		p += n;
		if (*p == '\0')
			return set;
	}
}

static const char *cgiheader(void *, const char *name)
{
	return get_string_value(name);
}

// -S's check begun, from the headers and the keys, before any of the body
// is read; null after a message where it fails already, with *status.
static hookcheck *sigbegin(const signing *sg, int *status)
{
	hookkey keys[hookkeys];
	unsigned char *own[hookkeys] = {};
	size_t ownlen[hookkeys] = {};
	int n = 0;
	*status = EXECUTION_FAILURE;
	hookcheck *c = static_cast<hookcheck *>(calloc(1, sizeof *c));
	bool good = c != nullptr;
	if (!good)
		complain("cannot allocate the signature's check: %s", strerror(ENOMEM));
	for (int i = 0; good && i < sg->nvars; i++, n++) {
		const char *v = get_string_value(sg->vars[i]);
		if (v == nullptr || *v == '\0') {
			complain("-k %s: no key in that variable", sg->vars[i]);
			good = false;
		} else {
			keys[n] = {reinterpret_cast<const unsigned char *>(v), strlen(v)};
		}
	}
	for (int i = 0; good && i < sg->nfiles; i++, n++) {
		const char *why;
		if ((own[i] = keyfile(sg->files[i], false, &ownlen[i], &why)) == nullptr || ownlen[i] == 0) {
			complain("-f %s: %s", sg->files[i], own[i] == nullptr ? why : "an empty key");
			good = false;
		} else {
			keys[n] = {own[i], ownlen[i]};
		}
	}
	if (good && hookstart(c, sg->scheme, cgiheader, nullptr, keys, n, sg->tolerance, time(nullptr), sg->url) != hook_ok) {
		complain("%s", c->msg);
		*status = c->status == hook_badkey ? EXECUTION_FAILURE : req_unsigned;
		good = false;
	}
	// Every byte of a key, those after a NUL too.
	for (int i = 0; i < sg->nfiles; i++)
		if (own[i] != nullptr) {
			wipe(own[i], ownlen[i]);
			free(own[i]);
		}
	if (!good && c != nullptr) {
		wipe(c, sizeof *c);
		free(c);
		c = nullptr;
	}
	return c;
}

// Fields exactly as urldecode -a or -A, or jsonparse, sets them from the
// same bytes, and each file's key, filename and path; types, counts and
// names for a JSON body alone. Returns the builtin's status.
static int hand(const arrays *a, const request *r)
{
	jsonarrays others = a->json;
	others.values = nullptr;
	bool json = r->kind == formjson;
	if ((a->files != nullptr && newarray(a->files, false) == nullptr) ||
	    (!json && ((others.types != nullptr && newarray(others.types, true) == nullptr) ||
		       (others.counts != nullptr && newarray(others.counts, true) == nullptr) ||
		       (others.names != nullptr && newarray(others.names, true) == nullptr))))
		return EXECUTION_FAILURE;
	int status = json ? setjson(&a->json, &r->flat) :
		     r->kind == formfields ? setfields(a->json.values, a->json.assoc ? 'A' : 'a', r->body, r->copy, false,
						       false, strictpct, r->most, r->maxbytes) :
					     setpairs(a->json.values, a->json.assoc, r->fields, r->nfields / 2, false);
	SHELL_VAR *paths = status == EXECUTION_SUCCESS && a->files != nullptr ? find_variable(a->files) : nullptr;
	for (size_t i = 0; paths != nullptr && i < r->nfiles; i++) {
		setelem(paths, static_cast<arrayind_t>(3 * i), r->files[i].key);
		setelem(paths, static_cast<arrayind_t>(3 * i + 1), r->files[i].filename);
		setelem(paths, static_cast<arrayind_t>(3 * i + 2), r->files[i].path);
	}
	return status;
}

// A call, once its options are read: the body read, checked and handed
// to the script, or nothing changed. Returns the builtin's status.
static int run(WORD_LIST *list, const arrays *a, request *want, char *wait, long sec, long usec, const signing *sg)
{
	if (a->json.values == nullptr || list != nullptr) {
		builtin_usage();
		return EX_USAGE;
	}
	// As read takes it: TMOUT where -t is not given, and not a number
	// means no limit.
	if (wait == nullptr && ((wait = get_string_value("TMOUT")) == nullptr ||
				uconvert(wait, &sec, &usec, nullptr) == 0 || sec < 0 || usec < 0))
		sec = usec = 0;
	if (!arraysok(a))
		return EXECUTION_FAILURE;
	const char *dir = a->files == nullptr ? nullptr : want->dir;
	if (a->files != nullptr && dir == nullptr && ((dir = get_string_value("TMPDIR")) == nullptr || *dir == '\0'))
		dir = "/tmp";

	// The signature's headers and keys first: a request that cannot be
	// signed is refused before its body is read.
	hookcheck *hook = nullptr;
	int status;
	if (sg->on && (hook = sigbegin(sg, &status)) == nullptr)
		return status;
	// The folder's name is copied behind the request, as a trap may
	// change TMPDIR while the body is read.
	size_t dirlen = dir != nullptr ? strlen(dir) + 1 : 0;
	request *r = static_cast<request *>(calloc(1, sizeof *r + dirlen));
	if (r == nullptr) {
		if (hook != nullptr)
			wipe(hook, sizeof *hook);
		free(hook);
		complain("cannot allocate memory: %s", strerror(ENOMEM));
		return EXECUTION_FAILURE;
	}
	*r = *want;
	r->dir = dir != nullptr ? static_cast<char *>(memcpy(r + 1, dir, dirlen)) : nullptr;
	r->hook = hook;
	// zread is read's own; a signal that interrupts a wait runs its trap,
	// as zread's own wait would, and the wait goes on.
	r->rd = zread;
	r->interrupted = check_signals_and_traps;
	r->ms = sec > LONG_MAX / 1000 - 1 ? LONG_MAX : sec * 1000 + (usec + 999) / 1000;
	guard(undo, r);
	syncinput();
	status = reqread(r, 0, get_string_value("CONTENT_LENGTH"), get_string_value("CONTENT_TYPE"));
	if (status == req_late) {
		complain("no more of the body came within %s seconds", wait);	// as it was given
	} else if (status != req_ok) {
		complain("%s", r->msg);
	} else if (!arraysok(a)) {	// a trap that ran meanwhile may have changed them
		status = EXECUTION_FAILURE;
	} else if (!reqname(r)) {
		complain("%s", r->msg);
		status = EXECUTION_FAILURE;
	} else {
		status = hand(a, r);
	}
	unguard(status != EXECUTION_SUCCESS);
	if (status == EXECUTION_SUCCESS) {
		reqfree(r, true);
		free(r);
	}
	return status;
}

static int formdata_builtin(WORD_LIST *list)
{
	arrays a = {};
	char *wait = nullptr;
	WORD_DESC whyword, *whyname = nullptr;
	// An urlencoded body is read as a front end reads it: an escape that
	// is not '%' and two hex digits, or that makes a NUL, is an error, as
	// with urldecode -s. -s adds I-JSON's rules to a JSON body.
	request want = {};
	want.kinds = 7;
	want.limit = 1 << 20, want.most = maxvalues, want.maxbytes = maxbytes;
	signing sg = {};
	sg.tolerance = 300;
	intmax_t l;
	long sec, usec;
	int opt;

	forget();
	reset_internal_getopt();
	while ((opt = internal_getopt(list, const_cast<char *>("a:A:F:T:C:K:E:b:d:l:n:m:t:sS:k:f:w:u:"))) != -1) {
		switch (opt) {
		case 'a':
		case 'A':
			a.json.values = list_optarg;
			a.json.assoc = opt == 'A';
			break;
		case 'F':
			a.files = list_optarg;
			break;
		case 'T':
			a.json.types = list_optarg;
			break;
		case 'C':
			a.json.counts = list_optarg;
			break;
		case 'K':
			a.json.names = list_optarg;
			break;
		case 'E':
			whyword = {list_optarg, 0};
			whyname = &whyword;
			if (!goodname(whyname, true))
				return EX_USAGE;
			break;
		case 'b':
			if ((want.kinds = kinds(list_optarg)) == 0)
				return EX_USAGE;
			break;
		case 'd':
			want.dir = list_optarg;
			if (*want.dir == '\0') {
				complain("-d: an empty folder name");
				return EX_USAGE;
			}
			break;
		case 'l':
			if (!legal_number(list_optarg, &l) || l < 0) {
				complain("%s: not a number of bytes", list_optarg);
				return EX_USAGE;
			}
			want.limit = static_cast<unsigned long long>(l);
			break;
		case 'n':
		case 'm':
			if (!::limit(opt == 'n' ? "-n" : "-m", list_optarg, opt == 'n' ? &want.most : &want.maxbytes))
				return EX_USAGE;
			break;
		case 's':
			want.strict = true;
			break;
		case 'S':
			if (!hooknamed(list_optarg, &sg.scheme)) {
				complain("-S: %s: not one of %s", list_optarg, hookschemes);
				return EX_USAGE;
			}
			sg.on = true;
			break;
		case 'k':
		case 'f':
			if (sg.nvars + sg.nfiles == hookkeys) {
				complain("at most %d keys", static_cast<int>(hookkeys));
				return EX_USAGE;
			}
			if (opt == 'k')
				sg.vars[sg.nvars++] = list_optarg;
			else
				sg.files[sg.nfiles++] = list_optarg;
			break;
		case 'w':
			if (!legal_number(list_optarg, &l) || l < 0 || l > 999999999 || *list_optarg < '0' || *list_optarg > '9') {
				complain("-w: %s: not a number of seconds", list_optarg);
				return EX_USAGE;
			}
			sg.tolerance = l;
			break;
		case 'u':
			sg.url = list_optarg;
			break;
		case 't':
			wait = list_optarg;
			if (uconvert(wait, &sec, &usec, nullptr) == 0 || sec < 0 || usec < 0) {
				complain("%s: not a number of seconds", wait);
				return EX_USAGE;
			}
			break;
		CASE_HELPOPT;
		default:
			builtin_usage();
			return EX_USAGE;
		}
	}
	if (sg.on != (sg.nvars + sg.nfiles > 0)) {
		complain(sg.on ? "-S needs a key, by -k NAME or -f FILE" : "-k and -f are keys for -S");
		return EX_USAGE;
	}
	int status = run(loptend, &a, &want, wait, sec, usec, &sg);
	tell(whyname);
	return status;
}

static char doc1[] = "";
static char doc0[] = "Read a form's body from standard input.";
static char doc2[] = "Reads exactly CONTENT_LENGTH bytes, split at the boundary that";
static char doc3[] = "CONTENT_TYPE gives, or as an urlencoded string, as urldecode -A -s reads it,";
static char doc4[] = "or as a JSON text, as jsonparse -A or -a reads it.";
static char doc6[] = "  -A NAME   each field's name to its value in the associative array";
static char doc7[] = "            NAME, the last of a repeated name winning; a file's value";
static char doc8[] = "            is the filename that the client gave";
static char doc9[] = "  -a NAME   names and values in turn in the indexed array NAME";
static char doc10[] = "  -F FILES  key, client's filename and saved path of each file, in";
static char doc11[] = "            turn, in the indexed array FILES";
static char doc12[] = "  -T TYPES, -C COUNTS, -K NAMES";
static char doc13[] = "            for a JSON body, each pointer's type, each array's and";
static char doc14[] = "            object's count of members, each object's names in order, as";
static char doc15[] = "            jsonparse sets them; walk a body with COUNTS, never with a";
static char doc16[] = "            value of the body, which arithmetic would evaluate";
static char doc17[] = "  -b KINDS  the bodies to take, of multipart, urlencoded and json, as";
static char doc18[] = "            'json' or 'multipart,urlencoded'; all three where not given";
static char doc19[] = "  -d DIR    save the files in DIR, not ${TMPDIR:-/tmp}, as new files";
static char doc20[] = "            of mode 0600 under names of the builtin's own";
static char doc21[] = "  -l BYTES  refuse a body over BYTES, not 1048576, before reading it";
static char doc22[] = "  -n COUNT  refuse more than COUNT fields or values, not 100000";
static char doc23[] = "  -m BYTES  refuse fields or values whose names (or pointers) and";
static char doc24[] = "            values pass BYTES, not 8 MiB";
static char doc25[] = "  -t SECS   give up when no more of the body comes for SECS seconds,";
static char doc26[] = "            as read -t does; TMOUT where not given";
static char doc27[] = "  -s        add I-JSON's rules to a JSON body (RFC 7493), and refuse";
static char doc28[] = "            names equal under Unicode's simple case folding; in an";
static char doc29[] = "            urlencoded body, a bad escape or %00 is always an error";
static char doc30[] = "  -E WHY    set WHY to the reason for a refusal, or empty it";
static char doc30a[] = "  -S SCHEME check the sender's signature over the body, github, stripe,";
static char doc30b[] = "            slack, shopify, standard, twilio or gitlab, with the key in";
static char doc30c[] = "            the variable -k NAME or the file -f FILE; -w SECS (300) for";
static char doc30d[] = "            timestamps, -u URL for twilio; status 4, for a 401, if not";
static char doc32[] = "A body whose headers the grammar refuses, or that careful readers";
static char doc33[] = "read in different ways, is refused whole.";
static char doc35[] = "Exit status: 0, or 1 on a body that is refused or malformed, an";
static char doc36[] = "array that cannot be set, or a file that cannot be written, when";
static char doc37[] = "every file it made is removed and the arrays are left as they were;";
static char doc38[] = "3 on a body of a type that -b does not take, or none of the three,";
static char doc39[] = "for a 415 answer; 142 on a time-out; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc6, doc7, doc8, doc9, doc10, doc11,
		      doc12, doc13, doc14, doc15, doc16, doc17, doc18, doc19, doc20, doc21, doc22, doc23, doc24, doc25,
		      doc26, doc27, doc28, doc29, doc30, doc30a, doc30b, doc30c, doc30d, doc1, doc32, doc33, doc1, doc35, doc36, doc37, doc38, doc39,
		      nullptr};
static char bname[] = "formdata";
static char synopsis[] = "formdata -A NAME | -a NAME [-F FILES] [-T TYPES] [-C COUNTS] [-K NAMES] [-b KINDS] [-d DIR] [-l BYTES] [-n COUNT] [-m BYTES] [-t SECS] [-s] [-E WHY] [-S SCHEME -k NAME | -f FILE [-w SECS] [-u URL]]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin formdata_struct = {
	bname, formdata_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
