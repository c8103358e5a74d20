{ Free Pascal's ObjectTextToBinary on the benchmark's form texts, natively:
  the reference the form-text conversion is measured against.
    FormBench <directory>
  For each of the benchmark's inputs in the directory: conversions repeated
  for at least half a second, the best of three such runs; one line
  "<file> <MB/s>". }
program FormBench;
{$mode objfpc}{$H+}
uses Classes, SysUtils;

const
  Inputs: array[0..3] of string = ('form-50k.txt', 'form-2m.txt', 'form-8m-binary.txt', 'form-1m-utf8.txt');

var
  I, Run, Count: Integer;
  Text, Binary: TMemoryStream;
  Start, Elapsed: QWord;
  Best, Seconds: Double;
begin
  for I := Low(Inputs) to High(Inputs) do
  begin
    Text := TMemoryStream.Create;
    Binary := TMemoryStream.Create;
    Text.LoadFromFile(IncludeTrailingPathDelimiter(ParamStr(1)) + Inputs[I]);
    Best := 1e30;
    for Run := 1 to 3 do
    begin
      Count := 0;
      Start := GetTickCount64;
      repeat
        Text.Position := 0;
        Binary.Clear;
        ObjectTextToBinary(Text, Binary);
        Inc(Count);
        Elapsed := GetTickCount64 - Start;
      until Elapsed >= 500;
      Seconds := Elapsed / 1000.0 / Count;
      if Seconds < Best then
        Best := Seconds;
    end;
    WriteLn(Inputs[I], ' ', (Text.Size / 1048576.0) / Best: 0: 2);
    Text.Free;
    Binary.Free;
  end;
end.
