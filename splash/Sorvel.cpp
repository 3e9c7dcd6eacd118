// Sorvel's program entry: the data module's constructor is the whole start-up.
#include "DataModuleMaster.h"
#include "Forms.h"
#include "SysUtils.h"

int main(int, char**) {
  try {
    Application->Initialize();
    Application->CreateForm(dmMaster);
    Application->Run();
  } catch (Exception& exception) {
    Application->ShowException(&exception);
  } catch (...) {
    Exception exception("");
    Application->ShowException(&exception);
  }
  return 0;
}
