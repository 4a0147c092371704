// libFuzzer entry over the decoders of server replies (see run-fuzz.sh).
#include "fuzz/MySqlDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tharvel::fuzz::decodeOne(data, size);
    return 0;
}
