// child_process_web.cpp - other programs in a web page: there are none to start, so every
// request reports that they are unavailable.
#include "platform/child_process.h"

namespace sys {

struct ChildProcess {};

bool programAvailable(const char*) {
    return false;
}

ChildProcess* startChild(const std::vector<std::string>& argv, int, const std::string&,
                         std::string& error) {
    error = (argv.empty() ? std::string("a program") : argv[0]) +
            " cannot be started: a web page runs no other programs";
    return nullptr;
}

bool writeToChild(ChildProcess*, int, const void*, size_t) {
    return false;
}

int finishChild(ChildProcess*) {
    return -1;
}

bool runThreadInBackground() {
    return false; // a page's threads are the browser's to schedule
}

bool standardErrorIsTerminal() {
    return false; // the browser's console
}

void keepDefaultSignalHandling() {}

} // namespace sys
