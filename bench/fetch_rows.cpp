// Reads every row of one statement with MySqlConnection and discards it; prints the
// number of rows and value bytes. Used by bench/fetch, and by bench/dump as the floor
// of a dump on one connection (there the text holds one statement per line, run in turn).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string_view>

#include "mysql/MySqlConnection.h"
#include "mysql/MySqlQuery.h"

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(
            stderr,
            "usage: %s host port user password database sql [--compress] [--charset=name] [--tls=mode]\n",
            argv[0]);
        return 2;
    }
    try {
        tharvel::MySqlConnection c;
        c.setServer(argv[1]);
        c.setPort(std::atoi(argv[2]));
        c.setUsername(argv[3]);
        c.setPassword(argv[4]);
        c.setDatabase(argv[5]);
        for (int i = 7; i < argc; ++i) {
            if (std::strcmp(argv[i], "--compress") == 0)
                c.options().setCompress(true);
            else if (std::strncmp(argv[i], "--charset=", 10) == 0)
                c.options().setCharset(argv[i] + 10);
            else if (std::strncmp(argv[i], "--tls=", 6) == 0)
                c.options().setTlsMode(tharvel::parseTlsMode(argv[i] + 6));
        }
        c.open();
        unsigned long long rows = 0, bytes = 0;
        std::string_view text = argv[6];
        while (!text.empty()) {
            size_t end = text.find('\n');
            std::string_view sql = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (sql.empty()) continue;
            tharvel::MySqlQuery q(c);
            q.open(sql);
            size_t n = q.fieldCount();
            while (q.next()) {
                ++rows;
                for (size_t i = 0; i < n; ++i) bytes += q.value(i).size();
            }
        }
        std::fprintf(stderr, "%llu rows, %llu bytes\n", rows, bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
