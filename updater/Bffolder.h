// TBffolder: the shell's folder picker as a dialog component. Option flags that the installed
// shell does not know are left out by the shell's version.
#pragma once
#include <functional>

#include "Dialogs.h"
#include "shlobj.h"

enum BffolderOption {
  bffBrowseForComputer, bffBrowseForPrinter, bffDontGoBelowDomain, bffReturnFSAncestors, bffReturnOnlyFSDirs,
  bffStatusText, bffValidate, bffEditBox, bffBrowseIncludeFiles, bffBrowseIncludeURLs, bffNewDialogStyle,
  bffShareable, bffUseNewUI, bffNoNewFolderButton, bffNoTranslateTargets, bffUsageHint
};
typedef Set<BffolderOption, bffBrowseForComputer, bffUsageHint> TBffolderOptions;

enum TBffRootDir {
  rdDesktop, rdInternet, rdPrograms, rdControlPanel, rdPrinters, rdPersonal, rdFavorites, rdStartup, rdRecent,
  rdSendTo, rdBitBucked, rdStartMenu, rdMyDocuments, rdMyMusic, rdMyVideo, rdDesktopDirectory, rdDrives,
  rdNetwork, rdNetHood, rdFonts, rdTemplates, rdCommonStartMenu, rdCommonPrograms, rdCommonStartup,
  rdCommonDesktopDirectory, rdAppData, rdPrintHood, rdLocalAppData, rdAltStartup, rdCommonAltStartup,
  rdCommonFavorites, rdInternetCache, rdCookies, rdHistory, rdCommonAppData, rdWindows, rdSystem,
  rdProgramFiles, rdMyPictures, rdProfile, rdSystemX86, rdProgramFilesX86, rdProgramFilesCommon,
  rdProgramFilesCommonX86, rdCommonTemplates, rdCommonDocuments, rdCommonAdmintools, rdAdmintools,
  rdConnections, rdCommonMusic, rdCommonPictures, rdCommonVideo, rdResources, rdRecourcesLocalized,
  rdCommonOemLinks, rdCDBurnArea, rdComputersNearMe, rdUseSelectedDir
};

typedef std::function<void(TObject* Sender, AnsiString Path)> TBffSelectionChangedEvent;
typedef std::function<void(TObject* Sender, AnsiString TypedName, bool& KeepOpen)> TBffValidateFailedEvent;

class TBffolder : public TCommonDialog {
 public:
  explicit TBffolder(TComponent* AOwner);
  ~TBffolder() override;
  bool Execute() override;

  AnsiString GetTitle() const { return FTitle; }
  void SetTitle(const AnsiString& Value) { FTitle = Value; }
  AnsiString GetSelectedDir() const { return FSelectedDir; }
  void SetSelectedDir(const AnsiString& Value);
  AnsiString GetCaption();
  void SetCaption(const AnsiString& Value);
  AnsiString GetStatusText() const { return FStatusText; }
  void SetStatusText(const AnsiString& Value);
  bool GetEnableOK() const { return FEnableOK; }
  void SetEnableOK(bool Value);
  TBffolderOptions GetOptions() const { return FOptions; }
  void SetOptions(TBffolderOptions Value) { FOptions = Value; }
  TBffRootDir GetRootDir() const { return FRootDir; }
  void SetRootDir(TBffRootDir Value) { FRootDir = Value; }
  VCL_PROPERTY(TBffolder, Title);
  VCL_PROPERTY(TBffolder, SelectedDir);
  VCL_PROPERTY(TBffolder, Caption);
  VCL_PROPERTY(TBffolder, StatusText);
  VCL_PROPERTY(TBffolder, EnableOK);
  VCL_PROPERTY(TBffolder, Options);
  VCL_PROPERTY(TBffolder, RootDir);
  TNotifyEvent OnInitialized;
  TBffSelectionChangedEvent OnSelectionChanged;
  TBffValidateFailedEvent OnValidateFailed;

  // The shell version as probed (major << 16 | minor, 0 when unknown) and the display name of
  // the last chosen or selected item.
  DWORD ShellVersion() const { return FShellVersion; }
  AnsiString DisplayName() const { return FDisplayName; }

 private:
  void ProbeShellVersion();
  static int CALLBACK BrowseCallback(HWND Wnd, UINT uMsg, LPARAM lParam, LPARAM lpData);
  AnsiString FTitle;
  AnsiString FSelectedDir;
  AnsiString FCaption;
  AnsiString FStatusText;
  bool FEnableOK = true;
  TBffolderOptions FOptions;
  TBffRootDir FRootDir = rdDesktop;
  DWORD FShellVersion = 0;
  AnsiString FDisplayName;
  HWND FDialogHandle = nullptr;
  LPMALLOC FMalloc = nullptr;
  IShellFolder* FDesktopFolder = nullptr;
};
