#pragma once
#include "support/HttpTestServer.h"
#include "web/GeneralApplicationToolkitUnit.h"

namespace tharvel::test {

// A toolkit unit aimed at a loopback server, with the settings assigned, the test
// certificate trusted and the clock standing at the time given.
inline void aimAt(GeneralApplicationToolkitUnit& unit, const HttpTestServer& server,
                  GeneralApplicationToolkitUnit::TimeOfDay now = {12, 0, 0}) {
    unit.setBaseAddress(server.baseAddress());
    unit.setCaFile(HttpTestServer::caFile());
    unit.platform().localTimeOfDay = [now] { return now; };
    unit.AssignSettings();
}

}  // namespace tharvel::test
