#pragma once

#include "automation/session_manager.h"
#include "fixtures/desktop_listing.h"
#include "flows/flow_store.h"
#include "support/temp_home.h"

namespace velmor::bench {

// A session manager on the test desktop, its flows kept in a temporary home.
struct DesktopSession {
    test::TempHome home;
    flows::FlowStore flows{home.path() + "/flows.db"};
    platform::DesktopServices& desktop = test::testDesktop();
    automation::SessionManager session{desktop.accessibility, desktop.applications, desktop.windows, desktop.input,
                                       flows};
};

}  // namespace velmor::bench
