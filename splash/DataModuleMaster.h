// TdmMaster: Sorvel's data module (not Movrant's of the same name). Its constructor is the whole
// start-up: it waits for a connection, reads the server's event index and creates the splash
// window when the index is new or "/FORCE" is given; otherwise the program ends silently.
#pragma once
#include "Forms.h"

// The event code file on the vendor's update host.
extern const char* const URL_EVENT_CODE;

class TdmMaster : public TDataModule {
 public:
  explicit TdmMaster(TComponent* Owner);

  bool IsConnected();
  int GetEventIndex();
  bool CheckShowSplash();
};

extern TdmMaster* dmMaster;
