#include "programs/cli_table_input.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

#include "programs/cli.h"

namespace kalibron {

ReadResult readStream(std::istream& in)
{
    ReadResult r;
    std::array<char, 65536> chunk;
    while (in) {
        in.read(chunk.data(), chunk.size());
        r.bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (r.bytes.size() > kMaxTableBytes) {
            r.status = kExitRefused;
            r.problem = "standard input holds more than 64 MiB; not a table";
            return r;
        }
    }
    if (in.bad()) {
        r.status = kExitIoError;
        r.problem = "cannot read standard input";
    }
    return r;
}

ReadResult readFile(const std::string& path)
{
    ReadResult r;
    auto fail = [&](int status, const std::string& reason) {
        r.status = status;
        r.problem = (status == kExitIoError ? "cannot read " : "refused ") + path + ": " + reason;
        r.bytes.clear();
        return r;
    };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return fail(kExitIoError, std::strerror(EISDIR));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        return fail(kExitIoError, std::strerror(errno));
    std::array<char, 65536> chunk;
    while (true) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        r.bytes.append(chunk.data(), got);
        if (r.bytes.size() > kMaxTableBytes)
            return fail(kExitRefused, "larger than 64 MiB; not a table");
        if (got < chunk.size()) {
            if (std::ferror(file.get()))
                return fail(kExitIoError, std::strerror(errno));
            break;
        }
    }
    return r;
}

std::string clipboardTextFromFile(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            text += '\r';
        text += bytes[i];
    }
    return text;
}

} // namespace kalibron
