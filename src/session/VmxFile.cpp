#include "session/VmxFile.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/FilePtr.h"
#include "base/Text.h"

namespace holv {
namespace {

// Reads one piece of a line, as a 256-byte fgets would: at most cap-1
// characters, ending after a newline. Unlike fgets it reports the length, so
// NUL bytes in a damaged file are copied through instead of cutting the
// piece. On Windows a CR LF pair is folded to LF as text mode would, but a
// Ctrl-Z does not end the file: text mode would stop there and the rewrite
// would drop everything after it.
size_t ReadPiece(std::FILE* f, char* buf, size_t cap) {
    size_t n = 0;
    while (n + 1 < cap) {
        int c = std::getc(f);
        if (c == EOF) break;
#ifdef _WIN32
        if (c == '\r') {
            int next = std::getc(f);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, f);
        }
#endif
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buf[n] = '\0';
    return n;
}

// Keys are the program's own constants; one that could not be read back as a
// single key would damage the file, so such a key is never written.
bool WritableKey(const char* key) {
    return key && *key && std::strpbrk(key, " \t=\"\r\n") == nullptr;
}

// A value cannot hold a double quote (there is no escape) and must stay on
// its line: values come from the appliance, and a line break would let it
// add keys of its choosing to the VM. The value is cut before such a
// character, which is also what a reader would have seen of a quote.
std::string LineSafeValue(const char* value) {
    return std::string(value, std::strcspn(value, "\"\r\n"));
}

}  // namespace

bool VmxLineBelongsTo(const char* line, const char* key) {
    if (!line || !key || !*key) return false;
    size_t n = std::strlen(key);
    // The comparison stops at the line's end, so line[n] is inside the line.
    if (CompareNoCase(line, key, n) != 0) return false;
    return line[n] == ' ' || line[n] == '=';
}

std::optional<std::string> ReadVmxValue(const std::string& path, const char* key) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) return std::nullopt;
    char piece[kVmxPieceSize];
    while (ReadPiece(f.get(), piece, sizeof piece) > 0) {
        if (!VmxLineBelongsTo(piece, key)) continue;
        // Only the first line of the key counts.
        const char* open = std::strchr(piece, '"');
        if (!open) return std::nullopt;
        const char* close = std::strchr(open + 1, '"');
        if (!close) return std::nullopt;
        return std::string(open + 1, close);
    }
    return std::nullopt;
}

int WriteVmxValue(const std::string& path, const char* key, const char* valueOrNull) {
    return WriteVmxValue(path, key, valueOrNull, &VmxReplaceFile);
}

int WriteVmxValue(const std::string& path, const char* key, const char* valueOrNull, VmxReplaceFn replace) {
    if (!WritableKey(key) || !replace) return 0;
    const std::string value = valueOrNull ? LineSafeValue(valueOrNull) : std::string();

    FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) return 0;
    char tempPath[kVmxTempPathSize];
    // A cut name is no longer "<path>.tmp": it could name the file itself (a
    // path of exactly 259 characters) or someone else's file.
    if (FormatText(tempPath, sizeof tempPath, "%s.tmp", path.c_str()) != path.size() + 4) return 0;
    FilePtr out(std::fopen(tempPath, "w"));
    if (!out) return 0;

    bool changed = false, keyFound = false, skipRest = false;
    bool anyPiece = false, lastEndedLine = false;
    char piece[kVmxPieceSize];
    size_t len;
    while ((len = ReadPiece(in.get(), piece, sizeof piece)) > 0) {
        const bool endsLine = piece[len - 1] == '\n';
        anyPiece = true;
        lastEndedLine = endsLine;
        if (skipRest) {
            // The rest of an over-long key line goes with it; kept, it would
            // stand as a stray fragment line in the VM file.
            skipRest = !endsLine;
            continue;
        }
        if (VmxLineBelongsTo(piece, key)) {
            keyFound = changed = true;
            if (valueOrNull) std::fprintf(out.get(), "%s = \"%s\"\n", key, value.c_str());
            skipRest = !endsLine;
        } else {
            std::fwrite(piece, 1, len, out.get());
        }
    }
    if (valueOrNull && !keyFound) {
        // End a last line that lacks its newline (an empty file gets an
        // empty first line) before the new key line.
        if (!anyPiece || !lastEndedLine) std::fputc('\n', out.get());
        std::fprintf(out.get(), "%s = \"%s\"\n", key, value.c_str());
        changed = true;
    }

    // A read or write error (a folder as the path, a full disk) must not
    // replace the configuration with a partial copy.
    const bool readFailed = std::ferror(in.get()) != 0;
    bool writeFailed = std::ferror(out.get()) != 0;
    // The close flushes: its failure is a write failure too.
    if (std::fclose(out.release()) != 0) writeFailed = true;
    in.reset();
    if (readFailed || writeFailed || !changed || !replace(tempPath, path.c_str())) {
        std::remove(tempPath);
        return 0;
    }
    return 1;
}

}  // namespace holv
