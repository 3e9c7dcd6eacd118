// Test support of platform/web: waiting for the browser and looking into its page.
#pragma once
#include <functional>
#include <string>
#include <vector>

class TCppWebBrowser;

namespace webtest {

// Runs pending events until done() holds; false after timeoutMs.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);
// Loads that have ended (succeeded or failed) since the browser was made.
int CompletedLoads(TCppWebBrowser* browser);
int FailedLoads(TCppWebBrowser* browser);
bool WaitForLoads(TCppWebBrowser* browser, int count, int timeoutMs);
// Runs a script in the page; its value as text ("<timeout>" when it did not answer).
std::string RunScript(TCppWebBrowser* browser, const std::string& script, int timeoutMs = 10000);

// What the page wrote to its console, script errors included (level 2 = error).
struct ConsoleLine {
  int level = 0;
  std::string text;  // UTF-8
  int line = 0;
  std::string source;
};
const std::vector<ConsoleLine>& Console(TCppWebBrowser* browser);
void ClearConsole(TCppWebBrowser* browser);
// Navigations the browser refused (BeforeNavigate2 set Cancel), as UTF-8 URLs.
const std::vector<std::string>& RefusedUrls(TCppWebBrowser* browser);

// A left click at (x, y) of the page, as the user's mouse gives it (with the user's activation).
void ClickAt(TCppWebBrowser* browser, int x, int y);

// Asks for a context menu at (x, y) of the browser, as a right click does.
void ContextMenuAt(TCppWebBrowser* browser, int x, int y);
// Context menus the browser has shown.
int ContextMenusShown(TCppWebBrowser* browser);

}  // namespace webtest
