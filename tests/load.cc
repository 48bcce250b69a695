#include <gtest/gtest.h>

#include <cstdio>

#include "json.h"
#include "load.h"

scalars load(const std::string &path)
{
	std::string text;
	FILE *f = fopen(path.c_str(), "rb");
	EXPECT_NE(f, nullptr) << path;
	char buf[4096];
	for (size_t n; f != nullptr && (n = fread(buf, 1, sizeof buf, f)) > 0;)
		text.append(buf, n);
	if (f != nullptr)
		fclose(f);
	// The reader refuses \u0000, which no shell variable can hold, but
	// tests of fields have it: it is read as U+E000 and given back.
	for (size_t at = 0; (at = text.find("\\u0000", at)) != std::string::npos; at += 6)
		text.replace(at, 6, "\\ue000");
	static json j;
	jsonmem(&j, text.data(), text.size(), false);
	scalars all;
	std::string at;
	for (jsonevent e; (e = jsonnext(&j)) != jsondone;) {
		EXPECT_NE(e, jsonfailed) << path << ": " << j.msg;
		if (e == jsonfailed)
			break;
		if (e == jsonvalue && j.type != jsonarray && j.type != jsonobject)
			all[at = std::string(j.ptr.p, j.ptr.n)].assign(j.data, j.len);
		else if (e == jsonmore)
			all[at].append(j.data, j.len);
	}
	jsonend(&j);
	for (auto &kv : all)
		for (size_t nul = 0; (nul = kv.second.find("\xee\x80\x80", nul)) != std::string::npos; nul++)
			kv.second.replace(nul, 3, 1, '\0');
	return all;
}
