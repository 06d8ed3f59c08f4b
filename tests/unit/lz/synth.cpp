// synth.cpp: the synthetic installer material: generators for code, text,
// program images and archive streams, driven by one seeded generator.
#include "synth.h"

#include <algorithm>
#include <cstring>
#include <string>

uint64_t synth_rng::next()
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

namespace {

const char *const words[] = {
    "the", "of", "and", "to", "a", "in", "is", "you", "that", "it", "for", "on", "are", "with",
    "as", "be", "this", "or", "by", "from", "at", "not", "your", "can", "have", "will", "all",
    "if", "an", "files", "file", "program", "setup", "install", "installation", "directory",
    "computer", "system", "windows", "disk", "drive", "software", "version", "user", "data",
    "information", "license", "agreement", "copy", "copies", "use", "may", "must", "any",
    "other", "which", "when", "before", "after", "run", "running", "application", "click",
    "button", "dialog", "select", "option", "options", "default", "new", "old", "memory",
    "network", "printer", "driver", "drivers", "support", "technical", "please", "read",
    "following", "manual", "documentation", "release", "notes", "problem", "problems",
    "error", "message", "messages", "more", "some", "these", "there", "their", "such", "only",
    "also", "than", "then", "into", "each", "should", "would", "could", "used", "using",
    "make", "sure", "that", "first", "second", "time", "free", "space", "hard", "floppy",
    "restart", "continue", "cancel", "exit", "product", "company", "rights", "reserved",
    "warranty", "limited", "damages", "including", "without", "limitation", "purpose",
    "provided", "terms", "conditions", "section", "part", "under", "law", "agree", "accept",
    "database", "server", "client", "connection", "configuration", "settings", "control",
    "panel", "display", "screen", "mode", "colors", "fonts", "font", "text", "document",
    "documents", "print", "save", "open", "close", "window", "menu", "command", "commands",
    "line", "path", "name", "names", "type", "types", "value", "values", "number", "size",
    "available", "required", "recommended", "minimum", "maximum", "previous", "current",
    "latest", "update", "updates", "upgrade", "remove", "delete", "create", "change",
};
constexpr uint32_t word_count = sizeof(words) / sizeof(words[0]);

// Phrases that documentation repeats.
const char *const phrases[] = {
    "the setup program", "click the OK button", "in the windows directory",
    "before you install", "for more information", "see the documentation",
    "the following files", "on your hard disk", "make sure that", "is not available",
    "you must restart your computer", "press any key to continue", "all rights reserved",
    "without the prior written permission of", "to the extent permitted by law",
    "in the control panel", "if you have problems", "the latest version of",
    "the installation directory", "this version of the software",
};
constexpr uint32_t phrase_count = sizeof(phrases) / sizeof(phrases[0]);

// A word, the common ones more often (roughly Zipf-like); now and then a
// phrase, or a rarer word made of syllables.
std::string pick_word(synth_rng &r)
{
    static const char *const syllables[] = {"con", "tra", "ble", "ment", "in", "ter", "pro",
                                            "ri", "ca", "tion", "al", "de", "vi", "sor", "ex",
                                            "pa", "lo", "ge", "nu", "ist"};
    uint32_t kind = r.below(100);
    if (kind < 6)
        return phrases[r.below(phrase_count)];
    if (kind < 16) {
        std::string w;
        for (uint32_t i = 0, n = 2 + r.below(3); i < n; i++)
            w += syllables[r.below(20)];
        return w;
    }
    uint32_t a = r.below(word_count), b = r.below(word_count);
    return words[std::min(a, b) * std::min(r.below(4) + 1, 3u) % word_count];
}

void put16(bytes &b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void put32(bytes &b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void pad_to(bytes &b, size_t align, uint8_t fill)
{
    while (b.size() % align)
        b.push_back(fill);
}

void append_text(bytes &b, synth_rng &r, size_t size)
{
    size_t col = 0;
    bool start = true;
    size_t end = b.size() + size;
    while (b.size() < end) {
        std::string w = pick_word(r);
        if (col + w.size() > 72 && w.find(' ') != std::string::npos)
            w = w.substr(0, w.find(' ')); // phrases do not wrap
        if (start)
            w[0] = char(w[0] - 'a' + 'A');
        start = false;
        if (col + w.size() > 72) {
            b.push_back('\r');
            b.push_back('\n');
            col = 0;
        } else if (col > 0) {
            b.push_back(' ');
            col++;
        }
        b.insert(b.end(), w.begin(), w.end());
        col += w.size();
        uint32_t p = r.below(100);
        if (p < 8) {
            b.push_back('.');
            col++;
            start = true;
            if (r.below(6) == 0) {
                b.insert(b.end(), {'\r', '\n', '\r', '\n'});
                col = 0;
            }
        } else if (p < 12) {
            b.push_back(',');
            col++;
        }
    }
    b.resize(end);
}

// One x86-like instruction of the usual shapes, at address `pc`.
void append_insn(bytes &b, synth_rng &r, uint32_t pc, const std::vector<uint32_t> &funcs,
                 const std::vector<uint32_t> &imports)
{
    static const uint8_t disp[] = {0x08, 0x0C, 0x10, 0x14, 0x18, 0xFC, 0xF8, 0xF4, 0xF0, 0xEC, 0xE8};
    static const uint8_t regs[] = {0x45, 0x4D, 0x55, 0x5D, 0x75, 0x7D};
    switch (r.below(18)) {
    case 16: { // arguments pushed for an import, its result tested
        for (uint32_t k = 0, m = r.below(4); k < m; k++) {
            if (r.below(2))
                b.insert(b.end(), {0xFF, 0x75, disp[r.below(4)]});
            else
                b.insert(b.end(), {0x6A, 0x00});
        }
        b.insert(b.end(), {0xFF, 0x15});
        put32(b, imports[r.below(uint32_t(imports.size()))]);
        b.insert(b.end(), {0x85, 0xC0, 0x74, uint8_t(r.below(0x40))});
        break;
    }
    case 17: // a field copied between structures
        b.insert(b.end(), {0x8B, 0x46, uint8_t(4 * r.below(24)), 0x89, 0x47,
                           uint8_t(4 * r.below(24))});
        break;
    case 0: case 1: case 2: // mov reg, [ebp+disp]
        b.insert(b.end(), {0x8B, regs[r.below(6)], disp[r.below(11)]});
        break;
    case 3: case 4: // mov [ebp+disp], reg
        b.insert(b.end(), {0x89, regs[r.below(6)], disp[r.below(11)]});
        break;
    case 5: { // call a function
        b.push_back(0xE8);
        put32(b, funcs[r.below(uint32_t(funcs.size()))] - (pc + 5));
        break;
    }
    case 6: // call an import
        b.insert(b.end(), {0xFF, 0x15});
        put32(b, imports[r.below(uint32_t(imports.size()))]);
        break;
    case 7: // push a small constant or an address
        if (r.below(2))
            b.insert(b.end(), {0x6A, uint8_t(r.below(3) == 0 ? r.below(256) : r.below(8))});
        else {
            b.push_back(0x68);
            put32(b, 0x00403000 + 4 * r.below(2048));
        }
        break;
    case 8: // test, then a short jump
        b.insert(b.end(), {0x85, 0xC0, uint8_t(0x74 + r.below(2)), uint8_t(r.below(0x40))});
        break;
    case 9: // cmp eax, imm8
        b.insert(b.end(), {0x83, 0xF8, uint8_t(r.below(16))});
        break;
    case 10: // xor eax, eax / mov eax, imm32
        if (r.below(2))
            b.insert(b.end(), {0x33, 0xC0});
        else {
            b.push_back(0xB8);
            put32(b, r.below(3) ? r.below(16) : uint32_t(r.next()));
        }
        break;
    case 11: // add esp, n after a call
        b.insert(b.end(), {0x83, 0xC4, uint8_t(4 * (1 + r.below(6)))});
        break;
    case 12: // lea eax, [ebp+disp]; push eax
        b.insert(b.end(), {0x8D, regs[r.below(6)], disp[r.below(11)], 0x50});
        break;
    case 13: // mov ecx, [eax+disp]
        b.insert(b.end(), {0x8B, 0x48, uint8_t(4 * r.below(32))});
        break;
    case 14: // push reg
        b.push_back(uint8_t(0x50 + r.below(8)));
        break;
    default: // jmp short
        b.insert(b.end(), {0xEB, uint8_t(r.below(0x7F))});
        break;
    }
}

// One function: prologue, a body mostly of the idioms that a compiler
// repeats (`snippets`, now and then with one operand byte changed) and
// some fresh instructions, epilogue and int3 padding.
void append_function(bytes &b, synth_rng &r, uint32_t base, const std::vector<bytes> &snippets,
                     const std::vector<uint32_t> &funcs, const std::vector<uint32_t> &imports)
{
    b.insert(b.end(), {0x55, 0x8B, 0xEC});
    if (r.below(2))
        b.insert(b.end(), {0x83, 0xEC, uint8_t(4 * (1 + r.below(16)))});
    b.insert(b.end(), {0x53, 0x56, 0x57});
    for (uint32_t i = 0, n = 3 + r.below(30); i < n; i++) {
        if (r.below(10) < 6) {
            const bytes &sn = snippets[std::min(r.below(uint32_t(snippets.size())),
                                                r.below(uint32_t(snippets.size())))];
            size_t at = b.size();
            b.insert(b.end(), sn.begin(), sn.end());
            if (r.below(3) == 0)
                b[at + 1 + r.below(uint32_t(sn.size() - 1))] = uint8_t(r.below(256));
        } else {
            append_insn(b, r, base + uint32_t(b.size()), funcs, imports);
        }
    }
    b.insert(b.end(), {0x5F, 0x5E, 0x5B, 0x8B, 0xE5, 0x5D});
    if (r.below(2))
        b.push_back(0xC3);
    else
        b.insert(b.end(), {0xC2, uint8_t(4 * r.below(5)), 0x00});
    pad_to(b, 16, 0xCC);
}

const char *const import_names[] = {
    "GetProcAddress", "LoadLibraryA", "GetModuleHandleA", "CreateFileA", "ReadFile",
    "WriteFile", "CloseHandle", "GetLastError", "SetFilePointer", "GetFileSize",
    "GlobalAlloc", "GlobalFree", "GlobalLock", "GlobalUnlock", "lstrlenA", "lstrcpyA",
    "lstrcatA", "MessageBoxA", "DialogBoxParamA", "EndDialog", "SendMessageA",
    "PostMessageA", "GetDlgItem", "SetDlgItemTextA", "GetWindowTextA", "ShowWindow",
    "UpdateWindow", "CreateWindowExA", "DefWindowProcA", "RegisterClassA", "GetDC",
    "ReleaseDC", "SelectObject", "DeleteObject", "CreateFontA", "TextOutA", "BitBlt",
    "RegOpenKeyExA", "RegQueryValueExA", "RegCloseKey", "RegSetValueExA",
    "GetWindowsDirectoryA", "GetSystemDirectoryA", "GetTempPathA", "DeleteFileA",
    "CreateDirectoryA", "RemoveDirectoryA", "FindFirstFileA", "FindNextFileA", "FindClose",
};
constexpr uint32_t import_count = sizeof(import_names) / sizeof(import_names[0]);

} // namespace

bytes synth_text(synth_rng &r, size_t size)
{
    bytes b;
    b.reserve(size);
    append_text(b, r, size);
    return b;
}

bytes synth_noise(synth_rng &r, size_t size)
{
    bytes b(size);
    for (auto &c : b)
        c = uint8_t(r.next() >> 56);
    return b;
}

bytes synth_program(synth_rng &r, size_t size)
{
    bytes b;
    b.reserve(size + 4096);
    // headers: the old stub, then a header block padded to a section
    b.insert(b.end(), {'M', 'Z', 0x90, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF, 0, 0});
    b.resize(0x40, 0);
    static const char stub_text[] = "This program cannot be run in DOS mode.\r\r\n$";
    b.insert(b.end(), stub_text, stub_text + sizeof(stub_text) - 1);
    b.resize(0x80, 0);
    b.insert(b.end(), {'P', 'E', 0, 0, 0x4C, 0x01, 4, 0});
    put32(b, uint32_t(r.next()));
    b.resize(0x400, 0);

    // code, about 60%
    const uint32_t base = 0x00401000;
    std::vector<uint32_t> funcs, imports;
    for (uint32_t i = 0; i < 400; i++)
        funcs.push_back(base + uint32_t(size) * 6 / 10 / 400 * i);
    for (uint32_t i = 0; i < import_count; i++)
        imports.push_back(0x00405000 + 4 * i);
    std::vector<bytes> snippets(300);
    for (bytes &sn : snippets)
        for (uint32_t i = 0, n = 2 + r.below(4); i < n; i++)
            append_insn(sn, r, base + 0x1000 * r.below(64), funcs, imports);
    size_t code_end = b.size() + size * 6 / 10;
    while (b.size() < code_end)
        append_function(b, r, base, snippets, funcs, imports);
    pad_to(b, 512, 0);

    // data: pointer tables and strings
    size_t data_end = b.size() + size / 10;
    while (b.size() < data_end) {
        uint32_t a = 0x00402000 + 16 * r.below(256);
        for (uint32_t i = 0, n = 8 + r.below(24); i < n; i++)
            put32(b, a += 4 * (1 + r.below(6)));
        append_text(b, r, 8 + r.below(40));
        b.push_back(0);
        pad_to(b, 4, 0);
    }
    pad_to(b, 512, 0);

    // imports: hints and names, then the address table
    for (uint32_t i = 0; i < import_count; i++) {
        put16(b, r.below(600));
        const char *s = import_names[i];
        b.insert(b.end(), s, s + std::strlen(s) + 1);
        pad_to(b, 2, 0);
    }
    for (uint32_t i = 0; i < import_count; i++)
        put32(b, 0x00406000 + 20 * i);
    pad_to(b, 512, 0);

    // relocations: per 4 KiB page, a header and 16-bit entries
    for (uint32_t page = 0x1000; page < 0x1000 + uint32_t(size) * 6 / 10; page += 0x1000) {
        uint32_t n = 8 + 2 * r.below(40);
        put32(b, page);
        put32(b, 8 + 2 * n);
        uint32_t off = 0;
        for (uint32_t i = 0; i < n; i++) {
            off = std::min<uint32_t>(off + 2 + r.below(96), 0xFFF);
            put16(b, 0x3000 | off);
        }
    }
    pad_to(b, 512, 0);

    // resources: UTF-16 strings, small-palette icons, padding; the rest
    while (b.size() < size) {
        switch (r.below(3)) {
        case 0: {
            bytes t;
            append_text(t, r, 16 + r.below(120));
            put16(b, uint16_t(t.size()));
            for (uint8_t c : t)
                put16(b, c);
            break;
        }
        case 1: {
            b.insert(b.end(), {40, 0, 0, 0, 32, 0, 0, 0, 64, 0, 0, 0, 1, 0, 4, 0});
            b.resize(b.size() + 24, 0);
            for (uint32_t i = 0; i < 16; i++)
                put32(b, (i & 8 ? 0xFF : 0x80) * ((i & 1) | (i & 2) << 7 | (i & 4) << 14));
            uint8_t colour = uint8_t(r.below(256));
            for (uint32_t i = 0; i < 512; i++) {
                if (r.below(12) == 0)
                    colour = uint8_t(r.below(256));
                b.push_back(colour);
            }
            b.resize(b.size() + 128, 0); // the mask
            break;
        }
        default:
            pad_to(b, 512, 0);
            b.resize(b.size() + 16 * r.below(8), 0);
            break;
        }
    }
    b.resize(size);
    return b;
}

bytes synth_archive(uint64_t seed, size_t size)
{
    synth_rng r(seed);
    // The kinds of file a setup disk holds, in rough proportion of bytes.
    struct kind {
        const char *ext;
        unsigned share;   // per mille of the archive
    };
    static const kind kinds[] = {
        {"EXE", 300}, {"DLL", 440}, {"OCX", 100}, {"TXT", 70}, {"INF", 30}, {"HLP", 60},
    };
    bytes a;
    a.reserve(size + 1024);
    unsigned serial = 0;
    while (a.size() < size) {
        for (const kind &k : kinds) {
            if (a.size() >= size)
                break;
            size_t want = size_t(uint64_t(size) * k.share / 1000);
            size_t left = size - a.size();
            // a few files per kind, of uneven sizes
            size_t n = std::min(left, std::max<size_t>(64, want / 3 + r.below(uint32_t(want / 2 + 1))));
            n = std::min<size_t>(n, 2u << 20);
            bytes d;
            std::string ext = k.ext;
            if (ext == "EXE" || ext == "DLL" || ext == "OCX")
                d = synth_program(r, n);
            else if (ext == "HLP") {
                d = synth_text(r, n / 2);
                bytes z = synth_program(r, n - n / 2);
                d.insert(d.end(), z.begin(), z.end());
            } else
                d = synth_text(r, n);
            std::string name = (serial == 0 ? std::string("SETUP") : "FILE" + std::to_string(serial)) +
                               "." + ext;
            serial++;
            a.insert(a.end(), name.begin(), name.end());
            a.push_back(0);
            put16(a, uint16_t(r.below(12) << 11 | r.below(60) << 5 | r.below(30)));
            put16(a, uint16_t((14 + r.below(6)) << 9 | (1 + r.below(12)) << 5 | (1 + r.below(28))));
            put32(a, uint32_t(d.size()));
            a.insert(a.end(), d.begin(), d.end());
        }
    }
    return a;
}
