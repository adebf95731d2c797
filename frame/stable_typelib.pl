#!/usr/bin/perl
# widl writes the time of its run into the type library twice: as text ("Created by WIDL
# version 7.0 at Tue Dec  8 14:30:53 2026") and as a 32-bit number in the custom data item that
# follows it. Both become the time of SOURCE_DATE_EPOCH (1970 when unset), so that two builds
# of one commit give the same bytes. Usage: stable_typelib.pl FILE.tlb
use strict;
use warnings;

my $file = shift or die "usage: $0 FILE.tlb\n";
my $time = $ENV{SOURCE_DATE_EPOCH} // 0;
die "SOURCE_DATE_EPOCH is not a number\n" unless $time =~ /^\d+$/;
my $text = gmtime($time);  # same 24-character form as widl's ctime()

open(my $in, '<:raw', $file) or die "$file: $!\n";
my $data = do { local $/; <$in> };
close($in);
# The text, its newline, then the item: "WW", VT_UI4 (0x0013), the time.
$data =~ s/(Created by WIDL version [^\n]* at )[^\n]{24}\n(WW\x13\x00).{4}/$1 . $text . "\n" . $2 . pack('V', $time)/se
  or die "$file: no widl time stamp found\n";
open(my $out, '>:raw', $file) or die "$file: $!\n";
print $out $data;
close($out);
