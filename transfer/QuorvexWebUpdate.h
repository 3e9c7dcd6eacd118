// TQuorvexWebUpdate: keeps Movrant's own files current from the update list "Movrant.inf" and
// hands the downloaded packages to the update helper program qvrxupd.exe.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "Classes.h"
#include "QuorvexWebGet.h"

class TIniFile;

class TQuorvexWebUpdate : public TQuorvexWebGet {
 public:
  explicit TQuorvexWebUpdate(TComponent* Owner);
  ~TQuorvexWebUpdate() override;

  // One run against the update list at url; true when the list was received and processed.
  // Afterwards IsRestart tells whether the program is already ending for a restart.
  bool Execute(AnsiString url);
  bool ProcessInfoFile(AnsiString baseUrl, TIniFile* ini);
  AnsiString GetFileCheckValue(AnsiString path);
  AnsiString ExtractHelper();
  bool RunProcess(AnsiString commandLine, bool wait);
  void RestartWithHelper();
  void RunHelper(AnsiString fileList);
  // Virtual so that a test can place the program folder elsewhere.
  virtual AnsiString GetProgramDir();

  bool IsRestart() const { return FIsRestart; }

  std::function<void(TObject* Sender, AnsiString Message)> OnInfoFile;
  TNotifyEvent OnRestart;
  TNotifyEvent OnUncompress;

 private:
  std::unique_ptr<TStringList> FPackages;
  bool FIsRestart = false;
};

// Undoes, in place, the build step that scrambles the helper before it is embedded
// (helper/scramble.cpp).
void UnscrambleHelper(std::vector<unsigned char>& bytes);

// Where the program carries the update helper (scrambled).
#define QUORVEX_HELPER_RESTYPE "QuorvexWU_ER"
#define QUORVEX_HELPER_RESID 101
