' Calls webQuorrel.clsQuorrel as a script host does: with literals, with variables, with only
' the connection string and with skipped arguments. Prints one line per call and "end" last,
' since cscript reports no script error through its exit code.
'   cscript //nologo calls.vbs "<connection string>"
Option Explicit
Dim quorrel, connection, count, state, moduleName, login
connection = WScript.Arguments(0)
Set quorrel = CreateObject("webQuorrel.clsQuorrel")

count = quorrel.UpdateOnlineState(connection, 2, "Sales", True)
WScript.Echo "literals " & count

state = 2
moduleName = "Sales"
login = False
count = quorrel.UpdateOnlineState(connection, state, moduleName, login)
WScript.Echo "variables " & count & " " & state & " " & moduleName & " " & login

count = quorrel.UpdateOnlineState(connection)
WScript.Echo "connection-only " & count

count = quorrel.UpdateOnlineState(connection, 2, , True)
WScript.Echo "skipped " & count

count = quorrel.UpdateOnlineState(connection, , "Sales")
WScript.Echo "state-skipped " & count

Set quorrel = Nothing
WScript.Echo "end"
