object frmSample: TfrmSample
  Left = 10
  Top = 20
  BorderStyle = bsSingle
  BorderIcons = [biSystemMenu, biMinimize]
  Caption = '샘플'
  ClientHeight = 200
  ClientWidth = 300
  Font.Charset = HANGEUL_CHARSET
  Font.Height = -12
  Font.Name = '굴림'
  Font.Style = [fsBold]
  KeyPreview = True
  Position = poDesigned
  OnCreate = FormCreate
  OnShow = FormShow
  OnCloseQuery = FormCloseQuery
  OnKeyPress = FormKeyPress
  PixelsPerInch = 96
  TextHeight = 12
  object pnlBottom: TPanel
    Left = 0
    Top = 154
    Width = 300
    Height = 46
    Align = alBottom
    BevelOuter = bvNone
    TabOrder = 0
    object btnOk: TButton
      Left = 8
      Top = 10
      Width = 75
      Height = 25
      Caption = '확인'
      OnClick = btnOkClick
    end
  end
  object lblTitle: TLabel
    Left = 12
    Top = 8
    Width = 120
    Height = 13
    AutoSize = False
    Caption = 'Title'#13#10'second'
    Transparent = True
  end
  object edtName: TEdit
    Left = 12
    Top = 30
    Width = 97
    Height = 18
    PasswordChar = '*'
    TabOrder = 1
    Text = 'abc'
    OnKeyDown = edtNameKeyDown
  end
  object cbxModel: TComboBox
    Left = 12
    Top = 60
    Width = 120
    Height = 20
    Style = csDropDownList
    Items.Strings = (
      'beta'
      'alpha')
  end
  object lvMain: TListView
    Left = 140
    Top = 8
    Width = 150
    Height = 100
    Columns = <
      item
        Caption = '파일'
        MaxWidth = 60
        MinWidth = 60
        Width = 60
      end
      item
        Caption = 'B'
        Width = 40
      end>
    ViewStyle = vsReport
  end
  object Timer1: TTimer
    Enabled = False
    Interval = 10
    OnTimer = Timer1Timer
    Left = 8
    Top = 8
  end
end
