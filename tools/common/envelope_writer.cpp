// envelope_writer.cpp - ".env" text. Numbers use "%.9g", which round-trips every float, and the
// C locale's decimal point (the tools never change the locale).
#include "tools/common/envelope_writer.h"

#include <cstdio>

namespace envfile {

namespace {

void append(std::string& out, const char* word, float number) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%.9g", word, static_cast<double>(number));
    out += buffer;
}

void appendShape(std::string& out, const Key& k) {
    if (k.shaped) {
        append(out, " ", k.tension);
        append(out, " ", k.continuity);
        append(out, " ", k.bias);
    }
    out += '\n';
}

} // namespace

std::string scalarEnvelopeText(const std::string& name, const std::vector<Key>& keys) {
    std::string out = name + "\n";
    for (const Key& k : keys) {
        append(out, "key ", k.time);
        append(out, " value ", k.value[0]);
        appendShape(out, k);
    }
    out += "end envelope\n";
    return out;
}

std::string vectorEnvelopeText(const std::string& name, const std::vector<Key>& keys) {
    std::string out = name + "\n";
    for (const Key& k : keys) {
        append(out, "key ", k.time);
        append(out, " xyz ", k.value[0]);
        append(out, " ", k.value[1]);
        append(out, " ", k.value[2]);
        appendShape(out, k);
    }
    out += "end envelope\n";
    return out;
}

} // namespace envfile
