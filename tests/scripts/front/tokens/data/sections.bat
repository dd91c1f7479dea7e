@echo off
rem the command processor jumps over the Kel code
GOTO VETRA_EXIT
x = (
:VETRA_EXIT
echo between the sections
GOTO VETRA_EXIT
1);
*/
:VETRA_EXIT
