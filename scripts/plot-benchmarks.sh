#!/bin/bash
# Plots the times of Arealis and GEOS against the input size from the CSV that
#   bench_peers suite <data folder> --csv <file>
# writes (see BENCHMARKS.md), as a PNG: Arealis solid, GEOS dashed. When the CSV holds rows of
# the classes of other shapes (bench_peers classes, operation alone or --end-to-end), their
# ratios of processor time to GEOS's go as bars into a second PNG next to the first
# (<output>-classes.png). Needs gnuplot (Debian: gnuplot-nox).
#
#   scripts/plot-benchmarks.sh <results.csv> [docs/benchmarks.png]
set -euo pipefail

csv=${1:?usage: plot-benchmarks.sh <results.csv> [output.png]}
png=${2:-docs/benchmarks.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The plot command for some cases: one file per case with "size arealis_ms geos_ms" sorted by
# size (the last run of a case and size wins), two lines per case; cases without data are left
# out.
series() {
    local command="" colour=1 name file
    for name in "$@"; do
        file="$work/$(echo "$name" | tr ' ' '_').dat"
        awk -F, -v name="$name" '$1 == name { times[$2] = $3 " " $4 }
            END { for (size in times) print size, times[size] }' "$csv" | sort -n > "$file"
        if [ -s "$file" ]; then
            command+="${command:+, }\"$file\" using 1:2 with linespoints lw 2 lc $colour pt 7"
            command+=" title \"${name#layer }\", \"$file\" using 1:3 with linespoints lw 2"
            command+=" lc $colour pt 6 dt 2 notitle"
        fi
        colour=$((colour + 1))
    done
    echo "$command"
}

layers=$(series "layer intersection" "layer subtraction" "layer join" "layer union" "unite")
pairs=$(series "pair union" "pair intersection" "pair subtraction")

{
    echo 'set terminal pngcairo size 1400,600 font "sans,11"'
    echo "set output \"$png\""
    echo 'set logscale xy; set grid; set key top left'
    echo 'set ylabel "time (ms, median of the runs)"'
    echo 'set multiplot layout 1,2 title "Arealis (solid) and GEOS (dashed): same data, same process"'
    if [ -n "$layers" ]; then
        echo 'set xlabel "polygons per layer (Voronoi coverage against a shifted square mesh)"'
        echo "plot $layers"
    fi
    if [ -n "$pairs" ]; then
        echo 'set xlabel "vertices per polygon (two wavy stars crossing n / 10 times)"'
        echo "plot $pairs"
    fi
    echo 'unset multiplot'
} | gnuplot
echo "$png"

# Classes: "case" cpu_ratio per line, in the order of the CSV (the last run of a case wins).
awk -F, 'NR > 1 && $1 ~ /^(e2e )?(countries|spiky|small-large|slivers) / && $13 != "" {
             if (!($1 in ratio)) order[++n] = $1; ratio[$1] = $13 }
         END { for (i = 1; i <= n; ++i) printf "\"%s\" %s\n", order[i], ratio[order[i]] }' \
    "$csv" > "$work/classes.dat"
if [ -s "$work/classes.dat" ]; then
    classes_png="${png%.png}-classes.png"
    {
        echo 'set terminal pngcairo size 1400,700 font "sans,10"'
        echo "set output \"$classes_png\""
        echo 'set title "Arealis processor time as a share of GEOS'"'"'s, same data, same process"'
        echo 'set ylabel "ratio (Arealis / GEOS, processor time)"; set logscale y; set grid y'
        echo 'set style fill solid 0.6; set boxwidth 0.7; set xtics rotate by -60 noenhanced'
        echo 'set key off; set bmargin 14'
        echo "plot \"$work/classes.dat\" using 0:2:xtic(1) with boxes lc 1, 1 with lines lc 7 dt 2, 0.5 with lines lc 2 dt 3"
    } | gnuplot
    echo "$classes_png"
fi
