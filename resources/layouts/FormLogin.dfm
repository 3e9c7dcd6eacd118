object frmLogin: TfrmLogin
  Left = 0
  Top = 0
  AutoSize = True
  BorderStyle = bsNone
  Caption = 'Movrant for Pavo'
  ClientHeight = 250
  ClientWidth = 542
  Color = clBtnFace
  Font.Charset = HANGEUL_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = '굴림'
  Font.Style = []
  Position = poScreenCenter
  OnClose = FormClose
  OnCreate = FormCreate
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 12
  object imgFrameLogin: TImage
    Left = 0
    Top = 0
    Width = 542
    Height = 250
    OnMouseDown = imgFrameLoginMouseDown
  end
  object lvlVersion: TLabel
    Left = 404
    Top = 42
    Width = 117
    Height = 13
    Alignment = taRightJustify
    AutoSize = False
    Font.Charset = ANSI_CHARSET
    Font.Color = clSilver
    Font.Height = -11
    Font.Name = 'Verdana'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object lblStatus: TLabel
    Left = 116
    Top = 40
    Width = 3
    Height = 12
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clSilver
    Font.Height = -12
    Font.Name = '굴림'
    Font.Style = []
    ParentFont = False
    Transparent = True
    Visible = False
  end
  object lvlDataVersion1: TLabel
    Left = 65
    Top = 117
    Width = 150
    Height = 11
    AutoSize = False
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clBlack
    Font.Height = -11
    Font.Name = '굴림'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object lvlDataVersion2: TLabel
    Left = 65
    Top = 133
    Width = 150
    Height = 11
    AutoSize = False
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clBlack
    Font.Height = -11
    Font.Name = '굴림'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object lvlDataVersion3: TLabel
    Left = 65
    Top = 149
    Width = 150
    Height = 11
    AutoSize = False
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clBlack
    Font.Height = -11
    Font.Name = '굴림'
    Font.Style = []
    ParentFont = False
    Transparent = True
  end
  object lblAutoLogin: TLabel
    Left = 314
    Top = 178
    Width = 84
    Height = 12
    Caption = '사용자 ID 저장'
    Transparent = True
    OnClick = lblAutoLoginClick
  end
  object lblFile: TLabel
    Left = 37
    Top = 210
    Width = 465
    Height = 15
    AutoSize = False
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clSilver
    Font.Height = -12
    Font.Name = '굴림'
    Font.Style = []
    ParentFont = False
    Transparent = True
    Visible = False
  end
  object btnLogin: TTrelmSpeedButton
    Left = 400
    Top = 109
    Width = 71
    Height = 27
    Enabled = False
    Flat = True
    Glyph.Data = @GLYPH btn_login@
    NumGlyphs = 4
    OnClick = btnLoginClick
  end
  object btnCancel: TTrelmSpeedButton
    Left = 400
    Top = 137
    Width = 71
    Height = 27
    Enabled = False
    Flat = True
    Glyph.Data = @GLYPH btn_cancel@
    NumGlyphs = 4
    OnClick = btnCancelClick
  end
  object btnHomePage: TTrelmSpeedButton
    Left = 84
    Top = 177
    Width = 106
    Height = 17
    Flat = True
    NumGlyphs = 4
    OnClick = btnHomePageClick
  end
  object edtID: TEdit
    Left = 299
    Top = 113
    Width = 97
    Height = 18
    BorderStyle = bsNone
    Ctl3D = False
    Enabled = False
    ParentCtl3D = False
    TabOrder = 0
    OnKeyDown = edtIDKeyDown
  end
  object edtPassword: TEdit
    Left = 299
    Top = 141
    Width = 97
    Height = 18
    BorderStyle = bsNone
    Ctl3D = False
    Enabled = False
    ParentCtl3D = False
    PasswordChar = '*'
    TabOrder = 1
    OnKeyDown = edtPasswordKeyDown
  end
  object cbxAutoLogin: TCheckBox
    Left = 298
    Top = 177
    Width = 13
    Height = 13
    Enabled = False
    TabOrder = 2
  end
  object pbDownload: TProgressBar
    Left = 33
    Top = 228
    Width = 469
    Height = 13
    TabOrder = 3
    Visible = False
  end
  object Timer1: TTimer
    Enabled = False
    OnTimer = Timer1Timer
  end
end
