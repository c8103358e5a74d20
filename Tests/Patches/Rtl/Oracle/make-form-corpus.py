#!/usr/bin/env python3
"""Writes FormCorpus.txt: form texts in the subset where Free Pascal's
ObjectTextToBinary and the host's agree (ASCII, no float suffixes, no Null,
no collection item index, set elements only identifiers, an order index only
after "name: class", floats exactly representable). Hand-written forms
first, then generated ones (fixed seed). Run by hand; the output is
committed. Each form follows a line "---- <name>"; text after a form's final
"end" stays in its input (the conversion must stop at its first token)."""
import random

WRITTEN = {
"empty-form": """object Form1: TForm1
end
""",
"class-only": """object TForm1
end
""",
"main-form": """object MainForm: TMainForm
  Left = 192
  Top = 107
  Width = 870
  Height = 640
  Caption = 'Accounts'
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Tahoma'
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 13
  object StatusBar1: TStatusBar
    Left = 0
    Top = 587
    Width = 862
    Height = 19
    Panels = <
      item
        Width = 200
      end
      item
        Text = 'Ready'
        Width = 50
      end>
  end
  object ToolBar1: TToolBar
    Left = 0
    Top = 0
    Width = 862
    Height = 29
    Caption = 'ToolBar1'
    TabOrder = 0
    object ToolButton1: TToolButton
      Left = 0
      Top = 0
      Caption = 'New'
      ImageIndex = 0
      OnClick = NewClick
    end
  end
end
""",
"strings": """object Form2: TForm2
  S1 = ''
  S2 = 'It''s'
  S3 = 'Line one'#13#10'Line two'
  S4 = 'a' + 'b' +
    'c'
  S5 = #65#66#67
  S6 = 'Quote '''''
  S7 = '#' + '+' + '{' + '}'
end
""",
"long-string": """object Form3: TForm3
  Hint = '""" + "0123456789abcdefghijklmnopqrstuvwxyz" * 9 + """'
  Text = '""" + "x" * 255 + """'
  Text2 = '""" + "y" * 256 + """'
end
""",
"numbers": """object Numbers: TNumbers
  I0 = 0
  I1 = 127
  I2 = -128
  I3 = 128
  I4 = -129
  I5 = 32767
  I6 = -32768
  I7 = 32768
  I8 = 2147483647
  I9 = -2147483648
  I10 = 2147483648
  I11 = -2147483649
  I12 = 9223372036854775807
  H1 = $FF
  H2 = $7FFFFFFF
  H3 = $0
  F1 = 1.5
  F2 = -0.25
  F3 = 1E2
  F4 = 2.5e-1
  F5 = 1250.125
  F6 = 0.0
end
""",
"idents-sets-lists": """object DataModule1: TDataModule1
  OldCreateOrder = False
  Active = True
  Enabled = False
  Owner = nil
  DataSource = DataModule2.DataSource1
  Anchors = [akLeft, akTop, akRight]
  Options = []
  BorderIcons = [biSystemMenu]
  Lines.Strings = (
    'first'
    'second'
    ''
    'fourth')
  Values = (1 2 3 -4)
  Mixed = (clRed 'x' 5 (1 2) [akLeft])
end
""",
"binary": """object ImageForm: TImageForm
  Glyph.Data = {
    36030000424D3603000000000000360000002800000010000000100000000100
    1800000000000003000000000000000000000000000000000000FF00FFFF00FF
    FF00FF}
  Empty = {}
  Small = {00}
  Tight = {0a0B0c}
end
""",
"inherited-inline": """inherited Child: TChild
  Caption = 'Child'
  inherited Panel1: TPanel
    Width = 10
    inline Frame1: TFrame1 [2]
      Left = 1
    end
  end
  object Extra: TButton [0]
  end
  inherited Panel2: TPanel [12]
  end
end
""",
"dotted": """object Form4: TForm4
  Constraints.MinWidth = 100
  Constraints.MinHeight = 80
  Font . Style = [fsBold]
  Action = Actions.FileOpen
  object Grid: TDBGrid
    Columns = <>
    Columns2 = <
      item
        Expanded = False
        FieldName = 'ID'
        Title.Caption = 'Id'
      end>
  end
end
""",
"blanks": "object\tTabs :\tTTabs\r\n\t Left=1\r\n  Right   =   2  \r\n\r\n  object   Inner  :  TInner  \r\n  end\r\nend\r\n",
"trailing": """object First: TFirst
  A = 1
end
object Second: TSecond
end
""",
"trailing-blanks": """object First: TFirst
end
   
  Tail = 1
""",
"underscores": """object _Form_1: T_Form_1
  _a1_b2 = _c3
  X1Y2 = A_1.B_2.C_3
end
""",
"deep": "".join("  " * i + "object O%d: TO%d\n" % (i, i) for i in range(12))
         + "".join("  " * i + "end\n" for i in range(11, -1, -1)),
}

CLASSES = ["TButton", "TLabel", "TEdit", "TPanel", "TMemo", "TComboBox", "TCheckBox", "TListView", "TTimer",
           "TImage", "TSplitter", "TPageControl", "TTabSheet", "TDataSource", "TClientDataSet"]
IDENTS = ["clRed", "clWindow", "alClient", "alTop", "taCenter", "poDesigned", "bsSingle", "True", "False", "nil",
          "DataModule1.Source", "Form1.Action1"]
SET_ELEMENTS = ["akLeft", "akTop", "akRight", "akBottom", "fsBold", "fsItalic", "biMinimize"]
FLOATS = ["1.5", "-2.25", "0.125", "100.0", "3E3", "6.25e-2", "-1E1"]


def string_value(rng):
    parts = []
    for _ in range(rng.randint(1, 3)):
        kind = rng.random()
        if kind < 0.6:
            text = "".join(rng.choice("abcdefghij KLMNOP 0123'") for _ in range(rng.randint(0, 20)))
            parts.append("'" + text.replace("'", "''") + "'")
        else:
            parts.append("".join("#%d" % rng.randint(32, 126) for _ in range(rng.randint(1, 3))))
    return " + ".join(parts) if rng.random() < 0.3 else "".join(parts)


def value(rng, depth):
    kind = rng.random()
    if kind < 0.25:
        return str(rng.choice([0, 1, -1, 7, 127, -128, 200, 40000, -70000, 3000000000, rng.randint(-10**6, 10**6)]))
    if kind < 0.35:
        return "$%X" % rng.randint(0, 0xFFFFFF)
    if kind < 0.45:
        return rng.choice(FLOATS)
    if kind < 0.65:
        return string_value(rng)
    if kind < 0.75:
        return rng.choice(IDENTS)
    if kind < 0.85:
        return "[" + ", ".join(rng.sample(SET_ELEMENTS, rng.randint(0, 3))) + "]"
    if kind < 0.92 and depth < 2:
        return "(" + " ".join(value(rng, depth + 1) for _ in range(rng.randint(0, 4))) + ")"
    if kind < 0.96:
        data = "".join("%02X" % rng.randint(0, 255) for _ in range(rng.randint(0, 70)))
        lines = [data[i:i + 64] for i in range(0, len(data), 64)] or [""]
        return "{\n      " + "\n      ".join(lines) + "}"
    if depth < 2:
        items = []
        for _ in range(rng.randint(0, 3)):
            props = "".join("        P%d = %s\n" % (k, value(rng, depth + 1)) for k in range(rng.randint(0, 3)))
            items.append("      item\n" + props + "      end")
        return "<" + ("\n" + "\n".join(items) if items else "") + ">"
    return "0"


def generated(rng, name_index, depth=0, indent=""):
    cls = rng.choice(CLASSES)
    name = "%s%d" % (cls[1:], name_index)
    keyword = rng.choice(["object"] * 6 + ["inherited", "inline"])
    order = " [%d]" % rng.randint(0, 9) if rng.random() < 0.15 else ""
    text = "%s%s %s: %s%s\n" % (indent, keyword, name, cls, order)
    for k in range(rng.randint(0, 6)):
        prop = rng.choice(["Left", "Top", "Caption", "Hint", "Tag", "Font.Name", "Data", "Items", "Value%d" % k])
        text += "%s  %s = %s\n" % (indent, prop, value(rng, 0))
    if depth < 3:
        for c in range(rng.randint(0, 3)):
            text += generated(rng, name_index * 10 + c, depth + 1, indent + "  ")
    text += indent + "end\n"
    return text


def main():
    rng = random.Random(15)
    out = []
    for name, text in WRITTEN.items():
        out.append("---- " + name + "\n" + text)
    for i in range(32):
        out.append("---- generated-%02d\n" % i + generated(rng, i + 1))
    with open("FormCorpus.txt", "w", newline="") as f:
        f.write("".join(out))


if __name__ == "__main__":
    main()
