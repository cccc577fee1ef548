object Form3: TForm3
  Left = 400
  Top = 300
  BorderIcons = [biSystemMenu]
  BorderStyle = bsDialog
  Caption = #35373#23450
  ClientHeight = 161
  ClientWidth = 313
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  Position = poScreenCenter
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 12
  object Label2: TLabel
    Left = 8
    Top = 8
    Width = 64
    Height = 12
    Caption = 'SWF'#12501#12449#12452#12523
  end
  object SpeedButton1: TSpeedButton
    Left = 288
    Top = 24
    Width = 20
    Height = 20
    Caption = '...'
    OnClick = SpeedButton1Click
  end
  object Bevel1: TBevel
    Left = 0
    Top = 112
    Width = 313
    Height = 41
    Shape = bsFrame
  end
  object Label3: TLabel
    Left = 8
    Top = 120
    Width = 139
    Height = 12
    Caption = 'Version 1.1 Build2002.10.05'
  end
  object Label1: TLabel
    Left = 8
    Top = 136
    Width = 195
    Height = 12
    Caption = 'Freeware. Use at your own risk.'
  end
  object EditMovieFileName: TEdit
    Left = 8
    Top = 24
    Width = 281
    Height = 20
    TabOrder = 3
  end
  object CheckBoxExpansion: TCheckBox
    Left = 8
    Top = 56
    Width = 137
    Height = 17
    Caption = #30011#38754#12469#12452#12474#12395#12354#12431#12379#12427
    TabOrder = 2
  end
  object ButtonCancel: TButton
    Left = 152
    Top = 80
    Width = 73
    Height = 25
    Caption = 'Cancel'
    TabOrder = 1
    OnClick = ButtonCancelClick
  end
  object ButtonOK: TButton
    Left = 232
    Top = 80
    Width = 73
    Height = 25
    Caption = 'OK'
    TabOrder = 0
    OnClick = ButtonOKClick
  end
  object OpenDialog1: TOpenDialog
    Filter = 'swf files (*.swf)|*.SWF'
    Options = [ofHideReadOnly, ofEnableSizing]
  end
end
