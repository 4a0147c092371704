#include "mysql/TMySqlBinds.h"

#include "mysql/EMySqlException.h"

namespace tharvel {

void TMySqlBinds::outOfRange() {
    throw EMySqlException::Malformed("A value past the end of the row was read");
}

void TMySqlBinds::Decode(std::span<const uint8_t> row) {
    const uint8_t* p = row.data();
    size_t size = row.size();
    size_t pos = 0;
    auto need = [&](size_t n) {
        if (n > size - pos) throw EMySqlException::Malformed();
    };
    for (TMySqlBind& b : binds_) {
        need(1);
        uint8_t first = p[pos++];
        uint64_t length = first;
        b.IsNull = 0;
        if (first == 251) {
            b.IsNull = 1;
            b.Offset = static_cast<uint32_t>(pos);
            b.Length = 0;
            continue;
        }
        if (first == 252) {
            need(2);
            length = p[pos] | p[pos + 1] << 8;
            pos += 2;
        } else if (first == 253) {
            need(3);
            length = p[pos] | p[pos + 1] << 8 | p[pos + 2] << 16;
            pos += 3;
        } else if (first == 254) {
            need(8);
            length = 0;
            for (int i = 7; i >= 0; --i) length = length << 8 | p[pos + i];
            pos += 8;
        } else if (first == 255) {
            throw EMySqlException::Malformed();
        }
        need(length);
        b.Offset = static_cast<uint32_t>(pos);
        b.Length = static_cast<uint32_t>(length);
        pos += length;
    }
    row_ = p;
}

}  // namespace tharvel
