{ Free Pascal's ObjectTextToBinary over a corpus of form texts: the oracle
  the form-text conversion is compared with.
    FormOracle <corpus> <output>
  The corpus holds forms, each after a line "---- <name>" (the text up to the
  next such line, its line end included). For each form one output line:
    <name> <binary form in hex> <input position after the conversion>
  or "<name> ERROR <class>: <message>". }
program FormOracle;
{$mode objfpc}{$H+}
uses Classes, SysUtils;

const
  Marker = '---- ';

var
  Corpus: TStringList;
  Output: TFileStream;

procedure WriteLine(const Line: RawByteString);
var
  S: RawByteString;
begin
  S := Line + #10;
  Output.WriteBuffer(S[1], Length(S));
end;

procedure Convert(const Name: string; const Text: RawByteString);
var
  Input, Binary: TMemoryStream;
  Hex: RawByteString;
  I: Integer;
  P: PByte;
begin
  Input := TMemoryStream.Create;
  Binary := TMemoryStream.Create;
  try
    if Text <> '' then
      Input.WriteBuffer(Text[1], Length(Text));
    Input.Position := 0;
    try
      ObjectTextToBinary(Input, Binary);
      SetLength(Hex, Binary.Size * 2);
      P := Binary.Memory;
      for I := 0 to Binary.Size - 1 do
      begin
        Hex[2 * I + 1] := LowerCase(IntToHex(P[I], 2))[1];
        Hex[2 * I + 2] := LowerCase(IntToHex(P[I], 2))[2];
      end;
      WriteLine(Name + ' ' + Hex + ' ' + IntToStr(Input.Position));
    except
      on E: Exception do
        WriteLine(Name + ' ERROR ' + E.ClassName + ': ' + E.Message);
    end;
  finally
    Input.Free;
    Binary.Free;
  end;
end;

var
  Bytes: RawByteString;
  Stream: TFileStream;
  Start, LineStart, LineEnd, NameEnd: Integer;
  Name: string;
begin
  Stream := TFileStream.Create(ParamStr(1), fmOpenRead);
  SetLength(Bytes, Stream.Size);
  if Stream.Size > 0 then
    Stream.ReadBuffer(Bytes[1], Stream.Size);
  Stream.Free;
  Output := TFileStream.Create(ParamStr(2), fmCreate);
  Name := '';
  Start := 0;
  LineStart := 1;
  { Walk the lines; a marker line ends the form before it and names the next. }
  while LineStart <= Length(Bytes) + 1 do
  begin
    LineEnd := LineStart;
    while (LineEnd <= Length(Bytes)) and (Bytes[LineEnd] <> #10) do
      Inc(LineEnd);
    if (LineEnd - LineStart >= Length(Marker)) and (Copy(Bytes, LineStart, Length(Marker)) = Marker) or
       (LineStart > Length(Bytes)) then
    begin
      if Name <> '' then
        Convert(Name, Copy(Bytes, Start, LineStart - Start));
      if LineStart > Length(Bytes) then
        Break;
      NameEnd := LineEnd;
      if (NameEnd > LineStart) and (Bytes[NameEnd - 1] = #13) then
        Dec(NameEnd);
      Name := Copy(Bytes, LineStart + Length(Marker), NameEnd - LineStart - Length(Marker));
      Start := LineEnd + 1;
    end;
    LineStart := LineEnd + 1;
  end;
  Output.Free;
  Corpus := nil;
end.
