// Images, panels and timers.
#pragma once
#include "Controls.h"

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  TPicture* GetPicture() const { return FPicture.get(); }
  void SetPicture(TPicture* v) { FPicture->Assign(v); }
  bool GetStretch() const { return FStretch; }
  void SetStretch(bool v);
  bool GetCenter() const { return FCenter; }
  void SetCenter(bool v);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  VCL_PROPERTY(TImage, Picture);
  VCL_PROPERTY(TImage, Stretch);
  VCL_PROPERTY(TImage, Center);
  VCL_PROPERTY(TImage, Transparent);
  VCL_PROPERTY(TImage, AutoSize);

 protected:
  void Paint() override;

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FTransparent = false;
  bool FAutoSize = false;
};

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut GetBevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut v);
  TBevelCut GetBevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut v);
  int GetBevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int v);
  int GetBorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int v);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  VCL_PROPERTY(TPanel, BevelOuter);
  VCL_PROPERTY(TPanel, BevelInner);
  VCL_PROPERTY(TPanel, BevelWidth);
  VCL_PROPERTY(TPanel, BorderWidth);
  VCL_PROPERTY(TPanel, Alignment);
  TRect GetClientAreaRect() const override;

 protected:
  void Paint() override;

 private:
  TBevelCut FBevelOuter = bvRaised;
  TBevelCut FBevelInner = bvNone;
  int FBevelWidth = 1;
  int FBorderWidth = 0;
  TAlignment FAlignment = taCenter;
};

class TTimerPrivate;

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool v);
  unsigned GetInterval() const { return FInterval; }
  void SetInterval(unsigned v);
  VCL_PROPERTY(TTimer, Enabled);
  VCL_PROPERTY(TTimer, Interval);
  TNotifyEvent OnTimer;
  void Loaded() override;

 private:
  void UpdateTimer();
  std::unique_ptr<TTimerPrivate> FPrivate;
  bool FEnabled = true;
  unsigned FInterval = 1000;
};
