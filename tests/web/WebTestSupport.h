#pragma once
#include "support/HttpTestServer.h"
#include "web/MakerService.h"

namespace tharvel::test {

// The maker's service aimed at a loopback server, with the settings assigned, the test
// certificate trusted and the clock standing at the time given.
inline void aimAt(MakerService& maker, const HttpTestServer& server,
                  MakerService::TimeOfDay now = {12, 0, 0}) {
    maker.setBaseAddress(server.baseAddress());
    maker.setCaFile(HttpTestServer::caFile());
    maker.platform().localTimeOfDay = [now] { return now; };
    maker.assignSettings();
}

}  // namespace tharvel::test
