{ Free Pascal's SysUtils path functions over every string of up to five
  characters from "a . \ : / ä", with the host's delimiters: the oracle the
  path functions are compared with.
    PathOracle <output>
  One UTF-8 line per string, tab-separated: the string, ExtractFilePath,
  ExtractFileDir, ExtractFileName, ExtractFileExt, ChangeFileExt(S, '.x'),
  ChangeFileExt(S, ''), ChangeFileExt(ExtractFileName(S), ''). }
program PathOracle;
{$mode objfpc}{$H+}
uses SysUtils, Classes;

const
  Alphabet: array[0..5] of WideChar = ('a', '.', '\', ':', '/', #$00E4);
  MaxLength = 5;

var
  Output: TFileStream;

procedure Emit(const S: UnicodeString);
var
  Line: UnicodeString;
  Bytes: RawByteString;
begin
  Line := S + #9 + ExtractFilePath(S) + #9 + ExtractFileDir(S) + #9 + ExtractFileName(S) + #9 +
    ExtractFileExt(S) + #9 + ChangeFileExt(S, UnicodeString('.x')) + #9 + ChangeFileExt(S, UnicodeString('')) + #9 +
    ChangeFileExt(ExtractFileName(S), UnicodeString('')) + #10;
  Bytes := UTF8Encode(Line);
  Output.WriteBuffer(Bytes[1], Length(Bytes));
end;

procedure Enumerate(const Prefix: UnicodeString);
var
  I: Integer;
begin
  Emit(Prefix);
  if Length(Prefix) < MaxLength then
    for I := Low(Alphabet) to High(Alphabet) do
      Enumerate(Prefix + Alphabet[I]);
end;

begin
  AllowDirectorySeparators := ['\'];
  AllowDriveSeparators := [':'];
  FirstDotAtFileNameStartIsExtension := True;
  Output := TFileStream.Create(ParamStr(1), fmCreate);
  Enumerate('');
  Output.Free;
end.
