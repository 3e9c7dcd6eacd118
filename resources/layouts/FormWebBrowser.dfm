object frmWebBrowser: TfrmWebBrowser
  Left = 0
  Top = 0
  ActiveControl = cwb
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsNone
  Caption = 'frmWebBrowser'
  ClientHeight = 339
  ClientWidth = 246
  Color = clWindow
  Ctl3D = False
  Font.Charset = HANGEUL_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = '굴림'
  Font.Style = []
  HorzScrollBar.Visible = False
  VertScrollBar.Visible = False
  OldCreateOrder = False
  Position = poMainFormCenter
  OnActivate = FormActivate
  OnClose = FormClose
  OnCreate = FormCreate
  OnDeactivate = FormDeactivate
  OnResize = FormResize
  OnShortCut = FormShortCut
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 12
  object lblLoad: TLabel
    Left = 72
    Top = 160
    Width = 108
    Height = 12
    Caption = '연결 중 입니다......'
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = '굴림'
    Font.Style = [fsBold]
    ParentFont = False
    Visible = False
  end
  object cwb: TCppWebBrowser
    Left = 0
    Top = 25
    Width = 252
    Height = 0
    TabOrder = 0
    OnTitleChange = cwbTitleChange
    OnBeforeNavigate2 = cwbBeforeNavigate2
    OnNavigateComplete2 = cwbNavigateComplete2
    OnDocumentComplete = cwbDocumentComplete
    OnQuit = cwbQuit
    OnWindowClosing = cwbWindowClosing
    OnNavigateError = cwbNavigateError
  end
  object tbMain: TToolBar
    Left = 0
    Top = 0
    Width = 246
    Height = 24
    AutoSize = True
    ButtonHeight = 20
    ButtonWidth = 50
    Caption = 'tbMain'
    EdgeBorders = [ebTop, ebBottom]
    Flat = True
    ShowCaptions = True
    TabOrder = 1
    Visible = False
    object ToolButton1: TToolButton
      Left = 0
      Top = 0
      Caption = 'Refresh'
      ImageIndex = 0
      OnClick = ToolButton1Click
    end
  end
end
