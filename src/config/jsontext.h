#pragma once

// Inside the library: what the text of a settings file says that Qt's JSON
// objects forget, the order and lines of keys and the digits of numbers.

#include "config/settingsfile.h"

#include <QByteArray>

#include <map>
#include <string>
#include <vector>

namespace lk58::config {

struct JsonTextFacts {
    // A key given more than once in one object, each repeat with the line
    // of its first appearance: Qt would keep only the last.
    std::vector<Problem> repeatedKeys;
    // The members of the top-level "settings" object that are numbers: key
    // to the number exactly as written ("450.0000001").
    std::map<std::string, std::string> settingsNumbers;
};

// Reads `bytes`, a document that Qt has parsed as JSON. Safe for any bytes.
JsonTextFacts ScanJsonText(const QByteArray& bytes);

} // namespace lk58::config
