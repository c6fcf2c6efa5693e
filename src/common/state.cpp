// Defines each process-wide object once.
#include "common/catalog.hpp"
#include "common/settings.hpp"

settings::settings() : report_title(msg::default_report_title) {}

namespace {
settings the_settings;
}

const settings& g_settings = the_settings;

settings&
startup_settings()
{
    return the_settings;
}

void
reset_settings()
{
    the_settings = settings();
}

#include "common/records.hpp"

log_record g_record;
