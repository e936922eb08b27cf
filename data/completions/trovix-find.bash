# bash completion for trovix-find

_trovix_find()
{
    local cur prev
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}

    case $prev in
        -s|--scope|--in|--skip)
            COMPREPLY=($(compgen -d -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
        --criteria)
            COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
        --name)
            COMPREPLY=($(compgen -W "contains: not-contains: begins: ends: is: is-not:" -- "$cur"))
            compopt -o nospace 2>/dev/null; return ;;
        --modified|--created)
            COMPREPLY=($(compgen -W "last-hour last-6-hours today yesterday within: on: before: after:" -- "$cur"))
            [[ $COMPREPLY == *: ]] && compopt -o nospace 2>/dev/null; return ;;
        --type|--not-type)
            COMPREPLY=($(compgen -W "file dir link ds_store */* image/* audio/* video/* text/plain" -- "$cur")); return ;;
        --saved)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(trovix-find --list-saved 2>/dev/null | cut -f2)" -- "$cur")); return ;;
        --size|--tag|--xattr|--no-xattr|--save|--skip-name)
            return ;;
        --threads)
            COMPREPLY=($(compgen -W "1 2 4 8 16" -- "$cur")); return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "-s --scope --in --skip --skip-name --trash --no-excluded --name --size
            --modified --created --type --not-type --tag --xattr --no-xattr --criteria
            --saved --list-saved --save --threads -0 --print0 --json --stats --count -h --help --version" -- "$cur"))
    fi
}
complete -F _trovix_find trovix-find
