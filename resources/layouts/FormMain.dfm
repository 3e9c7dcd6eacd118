object frmMain: TfrmMain
  Left = 0
  Top = 0
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Movrant for Pavo'
  ClientHeight = 467
  ClientWidth = 728
  Color = clWhite
  Font.Charset = HANGEUL_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = '굴림'
  Font.Style = []
  KeyPreview = True
  OldCreateOrder = False
  Position = poScreenCenter
  ShowHint = True
  OnCloseQuery = FormCloseQuery
  OnCreate = FormCreate
  OnKeyPress = FormKeyPress
  PixelsPerInch = 96
  TextHeight = 12
  object pcMain: TPageControl
    Left = 0
    Top = 0
    Width = 728
    Height = 421
    ActivePage = tsDownload
    Align = alClient
    TabOrder = 0
    TabPosition = tpBottom
    object tsDownload: TTabSheet
      Caption = '안전운전 Data Update'
      TabVisible = False
      object pnlTabBottom: TPanel
        Left = 0
        Top = 414
        Width = 720
        Height = 7
        Align = alBottom
        BevelOuter = bvNone
        TabOrder = 0
      end
    end
  end
  object pnlButtons: TPanel
    Left = 0
    Top = 421
    Width = 728
    Height = 46
    Align = alBottom
    BevelOuter = bvNone
    Color = clWhite
    TabOrder = 1
    object btnCameraUpdate: TTrelmSpeedButton
      Left = 21
      Top = 5
      Width = 156
      Height = 33
      Flat = True
      Glyph.Resource = 'BTN_CAMERA'
      NumGlyphs = 4
      Spacing = 2
      Color = clWhite
      FocusMaskColor = 14803425
      DownMaskColor = 14803425
      OnClick = btnCameraUpdateClick
    end
    object btnClose: TTrelmSpeedButton
      Left = 547
      Top = 5
      Width = 89
      Height = 33
      Flat = True
      Glyph.Resource = 'BTN_CLOSE'
      NumGlyphs = 4
      Spacing = 2
      Color = clWhite
      FocusMaskColor = 14803425
      DownMaskColor = 14803425
      OnClick = btnCloseClick
    end
    object btnHelp: TTrelmSpeedButton
      Left = 639
      Top = 5
      Width = 89
      Height = 33
      Flat = True
      Glyph.Resource = 'BTN_HELP'
      NumGlyphs = 4
      Spacing = 2
      Color = clWhite
      FocusMaskColor = 14803425
      DownMaskColor = 14803425
      OnClick = btnHelpClick
    end
  end
end
