// The summary index page: one row per month of the history window, the
// yearly chart above them and, when asked, the .htaccess that names the page.
#pragma once

/// Writes index.HTMLExtension (and usage.png, and .htaccess with HTAccess)
/// from the history window.  Returns 0, or 1 when the page cannot be opened.
int index_report();

class chart_helper;

/// The same with usage.png handed to the helper.
int index_report(chart_helper& charts);
