// Settings for self-extracting archives and the stub languages the program carries. Nothing
// here writes an archive; the zip component forwards SFXLanguage and SFXPath to this object.
#pragma once
#include <memory>

#include "Classes.h"
#include "Property.h"
#include "Sysset.h"
#include "windef.h"

enum TSFXOption {
  soAskCmdLine, soAskFiles, soHideOverWriteBox, soAutoRun, soNoSuccessMsg, soExpandVariables,
  soInitiallyHideFiles, soForceHideFiles, soCheckAutoRunFileName, soCanBeCancelled, soDetached
};
typedef Set<TSFXOption, soAskCmdLine, soDetached> TSFXOptions;

class TZipIntSFX : public TComponent {
 public:
  explicit TZipIntSFX(TComponent* AOwner);
  ~TZipIntSFX() override;

  AnsiString GetSFXLanguage() const;
  void SetSFXLanguage(const AnsiString& value);
  AnsiString GetSFXPath() const { return FSFXPath; }
  void SetSFXPath(const AnsiString& value);
  AnsiString GetRegFailPath() const { return FRegFailPath; }
  void SetRegFailPath(const AnsiString& value);
  AnsiString GetVersion() const { return "3.2.4.0 November 28,2005"; }
  void SetVersion(const AnsiString&) {}

  VCL_PROPERTY(TZipIntSFX, SFXLanguage);
  VCL_PROPERTY(TZipIntSFX, SFXPath);
  VCL_PROPERTY(TZipIntSFX, RegFailPath);
  VCL_PROPERTY(TZipIntSFX, Version);

  TComponent* ZipBuilder = nullptr;  // the owning zip component
  TSFXOptions SFXOptionsExt;
  bool SFXAutoRunOnly = false;       // stored only

  // The selected stub language as an upper-case code, and the carried languages (name=code).
  AnsiString LanguageCode;
  std::unique_ptr<TStringList> LanguageList;

  // Offers one RCDATA resource name to the language list.
  void ScanLanguage(HMODULE module, const char* resourceName);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  AnsiString FSFXPath;
  AnsiString FRegFailPath;
};
