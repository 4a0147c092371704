// Reads every row of one statement with TMyConnection and discards it; prints the
// number of rows and value bytes. Used by bench/fetch, and by bench/dump as the floor
// of a dump on one connection (there the text holds one statement per line, run in turn).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string_view>

#include "mysql/TMyConnection.h"
#include "mysql/TMyQuery.h"

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(
            stderr,
            "usage: %s host port user password database sql [--compress] [--charset=name] [--tls=mode]\n",
            argv[0]);
        return 2;
    }
    try {
        tharvel::TMyConnection c;
        c.SetLoginPrompt(false);
        c.SetServer(argv[1]);
        c.SetPort(std::atoi(argv[2]));
        c.SetUsername(argv[3]);
        c.SetPassword(argv[4]);
        c.SetDatabase(argv[5]);
        for (int i = 7; i < argc; ++i) {
            if (std::strcmp(argv[i], "--compress") == 0)
                c.Options().SetCompress(true);
            else if (std::strncmp(argv[i], "--charset=", 10) == 0)
                c.Options().SetCharset(argv[i] + 10);
            else if (std::strncmp(argv[i], "--tls=", 6) == 0)
                c.Options().SetTlsMode(tharvel::ParseTlsMode(argv[i] + 6));
        }
        c.Open();
        unsigned long long rows = 0, bytes = 0;
        std::string_view text = argv[6];
        while (!text.empty()) {
            size_t end = text.find('\n');
            std::string_view sql = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (sql.empty()) continue;
            tharvel::TMyQuery q(c);
            q.Open(sql);
            size_t n = q.FieldCount();
            while (q.next()) {
                ++rows;
                for (size_t i = 0; i < n; ++i) bytes += q.Value(i).size();
            }
        }
        std::fprintf(stderr, "%llu rows, %llu bytes\n", rows, bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
