object Form1: TForm1
  Left = 505
  Top = 236
  BorderStyle = bsNone
  Caption = #12513#12452#12531#12398#12501#12457#12540#12512
  ClientHeight = 343
  ClientWidth = 499
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  KeyPreview = True
  OnActivate = FormActivate
  OnClose = FormClose
  OnCreate = FormCreate
  OnKeyDown = FormKeyDown
  OnMouseDown = FormMouseDown
  OnMouseMove = FormMouseMove
  PixelsPerInch = 96
  TextHeight = 12
  object Panel1: TPanel
    Left = 32
    Top = 56
    Width = 281
    Height = 177
    BevelOuter = bvNone
    Color = clBlack
    TabOrder = 0
    OnMouseDown = Panel1MouseDown
    OnMouseMove = Panel1MouseMove
    object ShockwaveFlash1: TShockwaveFlash
      Left = 16
      Top = 0
      Width = 193
      Height = 169
      TabOrder = 0
      ControlData = {
        6755665500030000F21300007711000008000E000000570069006E0064006F00
        7700000008000E000000570069006E0064006F007700000008000E0000005700
        69006E0064006F00770000000B00FFFF0B00FFFF08000A000000480069006700
        6800000008000200000000000B00FFFF08000200000000000800100000005300
        68006F00770041006C006C0000000B0000000B00000008000200000000000800
        02000000000008000C000000620065006C006F0077000000}
    end
  end
  object ButtonClose: TButton
    Left = 304
    Top = 8
    Width = 81
    Height = 33
    Caption = 'Close'
    TabOrder = 1
    Visible = False
    OnClick = ButtonCloseClick
  end
  object ApplicationEvents1: TApplicationEvents
    OnIdle = ApplicationEvents1Idle
    OnMessage = ApplicationEvents1Message
  end
end
