' Registers this workstation in a module and prints the number of presence records, then "end".
'   cscript //nologo register.vbs "<connection string>" <module>
Option Explicit
Dim quorrel, count
Set quorrel = CreateObject("webQuorrel.clsQuorrel")
count = quorrel.UpdateOnlineState(WScript.Arguments(0), 2, WScript.Arguments(1))
WScript.Echo "count " & count
WScript.Echo "end"
