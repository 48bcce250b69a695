// A JSON file of test data read by the project's own reader: each
// scalar's text under its pointer, a container's under none.
#ifndef LOAD_H
#define LOAD_H

#include <map>
#include <string>

typedef std::map<std::string, std::string> scalars;	// pointer to text

scalars load(const std::string &path);

#endif
