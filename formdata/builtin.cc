// formdata as a bash loadable builtin: a request's body, as a CGI script
// reads it from standard input (multipart/form-data, urlencoded fields or
// a JSON text), which the request library reads, handed to the script:
// its fields into arrays, and its files as new files of the builtin's own.
//   enable -f formdata formdata
#include <climits>
#include <cstdlib>
#include <cstring>

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

struct signing {		// -S and its keys, tolerance and URL, and -R
	bool on;
	const char *replays;
	long long again;		// -r: how long a scheme with no timestamp is kept
	hookscheme scheme;
	const char *vars[hookkeys], *files[hookkeys];
	int nvars, nfiles;
	long long tolerance;
	const char *url;
};

// A call's work, undone where it fails, or where bash aborts it, later.
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
	const char *v, *why;
	bool good = true;
	int n = 0;
	for (int i = 0; good && i < sg->nvars; i++, n++) {
		if (!(good = (v = get_string_value(sg->vars[i])) != nullptr && *v != '\0'))
			complain("-k %s: no key in that variable", sg->vars[i]);
		else
			keys[n] = {reinterpret_cast<const unsigned char *>(v), strlen(v)};
	}
	for (int i = 0; good && i < sg->nfiles; i++, n++) {
		if (!(good = (own[i] = keyfile(sg->files[i], false, &ownlen[i], &why)) != nullptr && ownlen[i] > 0))
			complain("-f %s: %s", sg->files[i], own[i] == nullptr ? why : "an empty key");
		else
			keys[n] = {own[i], ownlen[i]};
	}
	char msg[sizeof(hookcheck{}.msg)];
	reqstatus st = req_bad;
	hookcheck *c = good ? reqsign(sg->scheme, cgiheader, nullptr, keys, n, sg->tolerance, sg->url, &st, msg, sizeof msg) :
			      nullptr;
	if (good && c == nullptr)
		complain("%s", msg);
	*status = st;
	// Every byte of a key, those after a NUL too.
	for (int i = 0; i < sg->nfiles; i++)
		if (own[i] != nullptr) {
			wipe(own[i], ownlen[i]);
			free(own[i]);
		}
	return c;
}

// Fields exactly as urldecode -a or -A, or jsonparse, sets them from the
// same bytes, and each file's key, filename and path; types, counts and
// names for a JSON body alone. Returns the builtin's status.
static int hand(const arrays *a, const request *r)
{
	const jsonarrays *j = &a->json;
	bool json = r->kind == formjson;
	if ((a->files != nullptr && newarray(a->files, false) == nullptr) ||
	    (!json && ((j->types != nullptr && newarray(j->types, true) == nullptr) ||
		       (j->counts != nullptr && newarray(j->counts, true) == nullptr) ||
		       (j->names != nullptr && newarray(j->names, true) == nullptr))))
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
static int run(const arrays *a, const request *want, const signing *sg)
{
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
	request *r = static_cast<request *>(xmalloc(sizeof *r + dirlen));
	*r = *want;
	r->dir = dir != nullptr ? static_cast<char *>(memcpy(r + 1, dir, dirlen)) : nullptr;
	r->hook = hook;
	// A delivery is kept as long as its timestamp holds, or as -r says
	// (a day) where the scheme signs none.
	r->replays = sg->replays;
	r->window = hooktimed(sg->scheme) ? sg->tolerance : sg->again > 0 ? sg->again : 86400;
	guard(undo, r);
	syncinput();
	status = reqread(r, 0, get_string_value("CONTENT_LENGTH"), get_string_value("CONTENT_TYPE"));
	if (status == req_ok && !reqname(r))
		status = EXECUTION_FAILURE;
	if (status != req_ok)
		complain("%s", r->msg);
	else	// a trap that ran meanwhile may have changed the arrays
		status = arraysok(a) ? hand(a, r) : EXECUTION_FAILURE;
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
	WORD_DESC whyword, *whyname = nullptr;
	// An urlencoded body is read as a front end reads it: an escape that
	// is not '%' and two hex digits, or that makes a NUL, is an error, as
	// with urldecode -s. -s adds I-JSON's rules to a JSON body. A wait
	// is bounded as read bounds it: by TMOUT where -t is not given, and
	// not at all where that is not a number. zread is read's own; a
	// signal that interrupts a wait runs its trap, as zread's own wait
	// would, and the wait goes on.
	request want = {};
	want.kinds = 7, want.limit = 1 << 20, want.most = maxvalues, want.maxbytes = maxbytes;
	want.rd = zread, want.interrupted = check_signals_and_traps;
	signing sg = {};
	sg.tolerance = 300;
	char *wait = get_string_value("TMOUT");
	const char *bad = nullptr, *pre = "", *what = "";
	intmax_t l;
	long sec, usec;
	int opt;

	forget();
	reset_internal_getopt();
	while (bad == nullptr && (opt = internal_getopt(list, const_cast<char *>("a:A:F:T:C:K:E:b:d:l:n:m:t:sS:k:f:w:u:g:R:r:"))) != -1) {
		char *arg = list_optarg;
		switch (opt) {
		case 'a':
		case 'A':
			a.json.values = arg;
			a.json.assoc = opt == 'A';
			break;
		case 'F':
		case 'T':
		case 'C':
		case 'K':
			*(opt == 'F' ? &a.files : opt == 'T' ? &a.json.types : opt == 'C' ? &a.json.counts : &a.json.names) = arg;
			break;
		case 'E':
			whyword = {arg, 0};
			if (!goodname(whyname = &whyword, true))
				return EX_USAGE;
			break;
		case 'b':
			if ((want.kinds = reqkinds(arg)) == 0)
				pre = "-b: ", what = arg, bad = ": not a list of multipart, urlencoded and json";
			break;
		case 'd':
			if (*(want.dir = arg) == '\0')
				bad = "-d: an empty folder name";
			break;
		case 'l':
			if (!legal_number(arg, &l) || l < 0)
				what = arg, bad = ": not a number of bytes";
			else
				want.limit = static_cast<unsigned long long>(l);
			break;
		case 'n':
		case 'm':
			if (!::limit(opt == 'n' ? "-n" : "-m", arg, opt == 'n' ? &want.most : &want.maxbytes))
				return EX_USAGE;
			break;
		case 's':
			want.strict = true;
			break;
		case 'S':
			if (!(sg.on = hooknamed(arg, &sg.scheme))) {
				complain("-S: %s: not one of %s", arg, hookschemes);
				return EX_USAGE;
			}
			break;
		case 'k':
		case 'f':
			if (sg.nvars + sg.nfiles == hookkeys)
				bad = "at most 8 keys";
			else
				*(opt == 'k' ? &sg.vars[sg.nvars++] : &sg.files[sg.nfiles++]) = arg;
			break;
		case 'w':
			if (!legal_number(arg, &l) || l < 0 || l > 999999999 || *arg < '0' || *arg > '9')
				pre = "-w: ", what = arg, bad = ": not a number of seconds";
			else
				sg.tolerance = l;
			break;
		case 'u':
			sg.url = arg;
			break;
		case 'R':
			if (*(sg.replays = arg) == '\0')
				bad = "-R: an empty folder name";
			break;
		case 'r':
			if (!legal_number(arg, &l) || l <= 0 || l > 999999999 || *arg < '0' || *arg > '9')
				pre = "-r: ", what = arg, bad = ": not a number of seconds";
			else
				sg.again = l;
			break;
		case 'g':
			if ((bad = jsonpointer(arg, true)) != nullptr || want.nkeep == 64) {
				complain("-g: %s: %s", arg, bad != nullptr ? bad : "more than 64 pointers");
				return EX_USAGE;
			}
			want.keep[want.nkeep++] = arg;
			break;
		case 't':
			if (uconvert(wait = arg, &sec, &usec, nullptr) == 0 || sec < 0 || usec < 0)
				what = arg, bad = ": not a number of seconds";
			break;
		CASE_HELPOPT;
		default:
			bad = "";
		}
	}
	if (bad == nullptr && sg.on != (sg.nvars + sg.nfiles > 0))
		bad = sg.on ? "-S needs a key, by -k NAME or -f FILE" : "-k and -f are keys for -S";
	if (bad == nullptr && !sg.on && (sg.replays != nullptr || sg.again != 0))
		bad = "-R and -r keep the deliveries that -S verified";
	if (bad == nullptr && (a.json.values == nullptr || loptend != nullptr))
		bad = "";
	if (bad != nullptr) {
		if (*bad != '\0')
			complain("%s%s%s", pre, what, bad);
		else
			builtin_usage();
		return EX_USAGE;
	}
	if (wait == nullptr || uconvert(wait, &sec, &usec, nullptr) == 0 || sec < 0 || usec < 0)
		sec = usec = 0;
	want.ms = sec > LONG_MAX / 1000 - 1 ? LONG_MAX : sec * 1000 + (usec + 999) / 1000;
	want.waited = wait;	// as it was given, for the message
	int status = run(&a, &want, &sg);
	tell(whyname);
	return status;
}

static char doc1[] = "";
static char doc0[] = "Read a form's body from standard input.";
static char doc2[] = "Reads exactly CONTENT_LENGTH bytes, split at the boundary that CONTENT_TYPE";
static char doc3[] = "gives, or as an urlencoded string, as urldecode -A -s reads it, or as a";
static char doc4[] = "JSON text, as jsonparse -A or -a reads it.";
static char doc6[] = "  -A NAME   each field's name to its value in the associative array";
static char doc7[] = "            NAME, the last of a repeated name winning; a file's value";
static char doc8[] = "            is the filename that the client gave";
static char doc9[] = "  -a NAME   names and values in turn in the indexed array NAME";
static char doc10[] = "  -F FILES  key, client's filename and saved path of each file, in";
static char doc11[] = "            turn, in the indexed array FILES";
static char doc12[] = "  -T TYPES, -C COUNTS, -K NAMES, -g POINTER  for a JSON body, as jsonparse";
static char doc13[] = "            sets them: types, counts of members, names in order, only";
static char doc14[] = "            under each -g; walk a body with COUNTS, never with its values";
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
static char doc30a[] = "  -S SCHEME check the sender's signature over the body (github, stripe, slack,";
static char doc30b[] = "            shopify, standard, twilio, gitlab, twitch, discord, telnyx, sendgrid),";
static char doc30d[] = "            with the key in the variable";
static char doc30c[] = "            -k NAME or the file -f FILE; -w SECS (300), -u URL for twilio;";
static char doc30e[] = "            -R DIR refuses a delivery seen before (-r SECS, a day, without";
static char doc30f[] = "            a timestamp)";
static char doc32[] = "A body whose headers the grammar refuses, or that careful readers";
static char doc33[] = "read in different ways, is refused whole.";
static char doc35[] = "Exit status: 0; 1 on a body that is refused, an array that cannot be set";
static char doc36[] = "or a file that cannot be written (every file made is removed, the arrays";
static char doc37[] = "left as they were); 3, for a 415, on a body of a type that -b does not";
static char doc38[] = "take; 4, for a 401, on a signature that does not hold, whatever else is";
static char doc39[] = "wrong with the body; 142 on a time-out; 2 on a bad command line.";
static char *doc[] = {doc0, doc1, doc2, doc3, doc4, doc1, doc6, doc7, doc8, doc9, doc10, doc11, doc12, doc13,
		      doc14, doc17, doc18, doc19, doc20, doc21, doc22, doc23, doc24, doc25, doc26, doc27, doc28, doc29,
		      doc30, doc30a, doc30b, doc30d, doc30c, doc30e, doc30f, doc1, doc32, doc33, doc1, doc35, doc36, doc37, doc38, doc39, nullptr};
static char bname[] = "formdata";
static char synopsis[] = "formdata -A NAME | -a NAME [-F FILES] [-T TYPES] [-C COUNTS] [-K NAMES] [-g POINTER]... [-b KINDS] [-d DIR] [-l BYTES] [-n COUNT] [-m BYTES] [-t SECS] [-s] [-E WHY] [-S SCHEME -k NAME | -f FILE [-w SECS] [-u URL] [-R DIR [-r SECS]]]";

// bash finds the builtin by this name.
extern "C" {
__attribute__((visibility("default"))) struct builtin formdata_struct = {
	bname, formdata_builtin, BUILTIN_ENABLED, doc, synopsis, nullptr,
};
}
