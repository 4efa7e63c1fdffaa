#pragma once

#include <string>
#include <string_view>

#include "core/value_cell.h"

namespace kalibron {

// The JSON report's pieces, appended to one growing text: numbers in the
// shortest form that reads back to the same double (null when not finite),
// strings as valid UTF-8 (a byte that is not UTF-8 becomes U+FFFD).
// QJsonDocument would not do: it sorts an object's members by name (the
// report keeps the engine's order: store, rows, labels, messages) and writes
// −0 as 0, which does not read back to the same double.
void appendJsonNumber(std::string& json, double value);
// A result left Empty or as the empty text is null.
void appendJsonCell(std::string& json, const ValueCell& cell);
void appendJsonString(std::string& json, std::string_view text);

// An object whose members are written in the order they are added.
class JsonObject {
public:
    explicit JsonObject(std::string& json) : m_json(json) { m_json += '{'; }
    std::string& key(std::string_view name)
    {
        if (!m_first)
            m_json += ',';
        m_first = false;
        appendJsonString(m_json, name);
        m_json += ':';
        return m_json;
    }
    void close() { m_json += '}'; }

private:
    std::string& m_json;
    bool m_first = true;
};

} // namespace kalibron
