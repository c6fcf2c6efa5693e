#include "common/settings.hpp"

#include "common/catalog.hpp"

settings::settings() : report_title(msg::default_report_title) {}
