object frmProgramUpdate: TfrmProgramUpdate
  Left = 0
  Top = 0
  BorderStyle = bsNone
  Caption = 'Movrant for Pavo'
  ClientHeight = 447
  ClientWidth = 742
  Color = clWhite
  Font.Charset = HANGEUL_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = '굴림'
  Font.Style = []
  OldCreateOrder = False
  ShowHint = True
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 12
  object pnlTop: TPanel
    Left = 0
    Top = 0
    Width = 742
    Height = 70
    Align = alTop
    BevelOuter = bvNone
    Color = clWhite
    TabOrder = 0
    object imgTitle: TImage
      Left = 0
      Top = 0
      Width = 742
      Height = 70
    end
    object cwbTop: TCppWebBrowser
      Left = 0
      Top = 0
      Width = 742
      Height = 70
      TabOrder = 0
    end
  end
  object pnlModel: TPanel
    Left = 0
    Top = 70
    Width = 240
    Height = 377
    Align = alLeft
    BevelOuter = bvLowered
    Color = clWhite
    TabOrder = 1
    object cwbModel: TCppWebBrowser
      Left = 1
      Top = 1
      Width = 238
      Height = 375
      Align = alClient
      TabOrder = 0
      OnDocumentComplete = cwbModelDocumentComplete
    end
  end
  object lblModel: TLabel
    Left = 252
    Top = 84
    Width = 60
    Height = 12
    Caption = '단말 종류'
    Transparent = True
  end
  object cbxModel: TComboBox
    Left = 320
    Top = 80
    Width = 180
    Height = 20
    Style = csDropDownList
    DropDownCount = 30
    ItemHeight = 12
    TabOrder = 2
    OnChange = cbxModelChange
  end
  object lvlModelHint: TLabel
    Left = 508
    Top = 84
    Width = 230
    Height = 12
    AutoSize = False
    Font.Charset = HANGEUL_CHARSET
    Font.Color = clRed
    Font.Height = -12
    Font.Name = '굴림'
    Font.Style = [fsBold]
    ParentFont = False
    Transparent = True
  end
  object lblDownFolder: TLabel
    Left = 252
    Top = 112
    Width = 60
    Height = 12
    Caption = '받기 폴더'
    Color = clWhite
  end
  object edtDownFolder: TEdit
    Left = 320
    Top = 108
    Width = 300
    Height = 20
    ReadOnly = True
    TabOrder = 3
  end
  object btnChangeFolder: TTrelmSpeedButton
    Left = 628
    Top = 105
    Width = 100
    Height = 26
    Enabled = False
    Flat = True
    Glyph.Resource = 'BTN_FOLDER'
    NumGlyphs = 4
    OnClick = btnChangeFolderClick
  end
  object lblDiskFree: TLabel
    Left = 252
    Top = 138
    Width = 230
    Height = 14
    AutoSize = False
    Color = clWhite
  end
  object lblRealSize: TLabel
    Left = 490
    Top = 138
    Width = 240
    Height = 14
    AutoSize = False
    Transparent = True
  end
  object lvMain: TListView
    Left = 252
    Top = 160
    Width = 352
    Height = 180
    Columns = <
      item
        Caption = '파일'
        MaxWidth = 100
        MinWidth = 100
        Width = 100
      end
      item
        Alignment = taCenter
        Caption = '진행 상태'
        MaxWidth = 180
        MinWidth = 180
        Width = 180
      end
      item
        Alignment = taCenter
        Caption = '결과'
        MaxWidth = 50
        MinWidth = 50
        Width = 50
      end>
    ColumnClick = False
    FlatScrollBars = True
    GridLines = True
    ReadOnly = True
    TabOrder = 4
    ViewStyle = vsReport
    OnColumnDragged = lvMainColumnDragged
    OnCustomDrawItem = lvMainCustomDrawItem
    OnCustomDrawSubItem = lvMainCustomDrawSubItem
    OnDeletion = lvMainDeletion
    OnInfoTip = lvMainInfoTip
  end
  object lblTotalDownload: TLabel
    Left = 252
    Top = 348
    Width = 400
    Height = 12
    AutoSize = False
    Caption = '전체 Download : '
    Transparent = True
  end
  object pbTotal: TProgressBar
    Left = 252
    Top = 366
    Width = 400
    Height = 16
    TabOrder = 5
  end
  object lblTotalPercent: TLabel
    Left = 660
    Top = 368
    Width = 60
    Height = 12
    AutoSize = False
    Caption = '0 %'
    Transparent = True
  end
  object lblBPS: TLabel
    Left = 252
    Top = 388
    Width = 300
    Height = 12
    AutoSize = False
    Transparent = True
  end
  object cbxAutoStartInstaller: TCheckBox
    Left = 252
    Top = 414
    Width = 330
    Height = 17
    Caption = '데이타를 다 받으면, 설치 프로그램 자동 실행'
    Checked = True
    State = cbChecked
    TabOrder = 6
  end
  object btnDownStart: TTrelmSpeedButton
    Left = 612
    Top = 394
    Width = 120
    Height = 40
    Enabled = False
    Flat = True
    Glyph.Resource = 'BTN_DOWN'
    NumGlyphs = 4
    OnClick = btnDownStartClick
  end
  object ilPBLeft2: TImageList
    Height = 12
    Width = 2
    Masked = False
    Bitmap.Resource = 'PB_LEFT'
  end
  object ilPBBody2: TImageList
    Height = 12
    Width = 4
    Masked = False
    Bitmap.Resource = 'PB_BODY'
  end
  object ilPBRight2: TImageList
    Height = 12
    Width = 5
    Masked = False
    Bitmap.Resource = 'PB_RIGHT'
  end
  object ilAnimation: TImageList
    Height = 16
    Width = 16
    Bitmap.Resource = 'ANIMATION'
  end
end
